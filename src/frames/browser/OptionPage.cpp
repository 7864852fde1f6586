#include "frames/browser/OptionPage.h"

#include "platform/Text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

namespace nimbra {

CIntBinding::CIntBinding(SKeyRef key, std::function<void(int)> show, std::function<int(int)> value)
    : m_key(std::move(key)), m_show(std::move(show)), m_value(std::move(value))
{
}

void CIntBinding::Load(const CSettings& settings)
{
    m_loaded = settings.GetInt(m_key);
    m_show(m_loaded);
    m_shown = Value();
}

void CIntBinding::Save(std::vector<SIniEdit>& edits) const
{
    if (Changed())
        edits.push_back({m_key.section, m_key.key, std::to_string(Value())});
}

CStringBinding::CStringBinding(EKey key, QLineEdit* edit) : m_key(key), m_pEdit(edit) {}

void CStringBinding::Load(const CSettings& settings)
{
    m_pEdit->setText(ToQ(settings.GetString(m_key)));
    m_pEdit->setCursorPosition(0);
    m_shown = Value();
}

void CStringBinding::Save(std::vector<SIniEdit>& edits) const
{
    if (Changed()) {
        const SSettingKey& info = KeyInfo(m_key);
        edits.push_back({std::string(info.section), std::string(info.key), Value()});
    }
}

std::string CStringBinding::Value() const
{
    return FromQ(m_pEdit->text());
}

COptionPage::COptionPage(CMainFrame* frame, const char* title)
    : m_pFrame(frame), m_pLayout(new QVBoxLayout(this)), m_pTarget(m_pLayout), m_title(QString::fromUtf8(title))
{
    // Built hidden: the controls get their values when the page first shows.
    m_pLayout->setAlignment(Qt::AlignTop);
}

void COptionPage::Show(const CSettings& settings)
{
    if (m_bShown)
        return;
    m_bShown = true;
    OnLoad(settings);
}

void COptionPage::Save(std::vector<SIniEdit>& edits) const
{
    if (m_bShown)
        OnSave(edits);
}

bool COptionPage::Changed() const
{
    return m_bShown && std::any_of(m_bindings.begin(), m_bindings.end(), [](const SBound& b) { return b.binding->Changed(); });
}

COptionBinding* COptionPage::Binding(EKey key) const
{
    for (const SBound& bound : m_bindings)
        if (bound.key == key)
            return bound.binding.get();
    return nullptr;
}

QWidget* COptionPage::Control(EKey key) const
{
    for (const SBound& bound : m_bindings)
        if (bound.key == key)
            return bound.control;
    return nullptr;
}

void COptionPage::OnLoad(const CSettings& settings)
{
    for (const SBound& bound : m_bindings)
        bound.binding->Load(settings);
}

void COptionPage::OnSave(std::vector<SIniEdit>& edits) const
{
    for (const SBound& bound : m_bindings)
        bound.binding->Save(edits);
}

void COptionPage::Bind(EKey key, std::unique_ptr<COptionBinding> binding, QWidget* control)
{
    m_bindings.push_back({key, std::move(binding), control});
}

QCheckBox* COptionPage::Check(EKey key, const char* label)
{
    return Check(key, label, [key](int value) { return IsOn(key, value); },
                 [](bool checked, int) { return checked ? 1 : 0; });
}

QCheckBox* COptionPage::Check(EKey key, const char* label, std::function<bool(int)> checked,
                              std::function<int(bool, int)> value)
{
    auto* box = new QCheckBox(QString::fromUtf8(label), this);
    m_pTarget->addWidget(box);
    Bind(key, std::make_unique<CIntBinding>(
                  KeyRef(key), [box, checked](int v) { box->setChecked(checked(v)); },
                  [box, value](int loaded) { return value(box->isChecked(), loaded); }),
         box);
    return box;
}

QSpinBox* COptionPage::Spin(EKey key, int min, int max, QLayout* into)
{
    auto* spin = new QSpinBox(this);
    spin->setRange(min, max);
    if (into)
        into->addWidget(spin);
    Bind(key, std::make_unique<CIntBinding>(
                  KeyRef(key), [spin](int v) { spin->setValue(v); }, [spin](int) { return spin->value(); }),
         spin);
    return spin;
}

QComboBox* COptionPage::Combo(EKey key, const char* label, std::initializer_list<const char*> items)
{
    auto* combo = new QComboBox(this);
    for (const char* item : items)
        combo->addItem(QString::fromUtf8(item));
    Row(label, {combo});
    Bind(key, std::make_unique<CIntBinding>(
                  KeyRef(key), [combo](int v) { combo->setCurrentIndex(v >= 0 && v < combo->count() ? v : 0); },
                  [combo](int) { return combo->currentIndex(); }),
         combo);
    return combo;
}

QLineEdit* COptionPage::Text(EKey key, const char* label)
{
    auto* edit = new QLineEdit(this);
    Row(label, {edit});
    Bind(key, std::make_unique<CStringBinding>(key, edit), edit);
    return edit;
}

QSpinBox* COptionPage::CheckWithSpin(EKey check, const char* label, EKey number, int min, int max)
{
    QCheckBox* box = Check(check, label);
    auto* row = new QHBoxLayout;
    m_pTarget->removeWidget(box);
    row->addWidget(box);
    QSpinBox* spin = Spin(number, min, max, row);
    row->addStretch(1);
    m_pTarget->addLayout(row);
    return spin;
}

QHBoxLayout* COptionPage::Row(const char* label, std::initializer_list<QWidget*> widgets)
{
    auto* row = new QHBoxLayout;
    auto* text = new QLabel(QString::fromUtf8(label), this);
    row->addWidget(text);
    for (QWidget* widget : widgets)
        row->addWidget(widget, widget == *widgets.begin() ? 1 : 0);
    if (widgets.size())
        text->setBuddy(*widgets.begin());
    m_pTarget->addLayout(row);
    m_pLastRow = row;
    return row;
}

} // namespace nimbra
