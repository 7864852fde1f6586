#pragma once

#include "data/settings/Settings.h"
#include "platform/Ini.h"

#include <QWidget>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QBoxLayout;
class QHBoxLayout;
class QLayout;
class QLineEdit;
class QSpinBox;
class QVBoxLayout;

namespace nimbra {

class CMainFrame;

// A control bound to one key: it shows the key's value when its page is
// first shown, and adds an edit for OK when the user changed it. A value
// left alone is not written, so the file keeps its text as it was (a
// missing key stays missing, out-of-range text stays as typed).
class COptionBinding {
public:
    virtual ~COptionBinding() = default;
    virtual void Load(const CSettings& settings) = 0;
    virtual void Save(std::vector<SIniEdit>& edits) const = 0;
    virtual bool Changed() const = 0;
};

// An integer key: `show` puts the read (limited) value into the control,
// `value` reads the control as the key's value, given the value read.
class CIntBinding : public COptionBinding {
public:
    CIntBinding(SKeyRef key, std::function<void(int)> show, std::function<int(int loaded)> value);
    void Load(const CSettings& settings) override;
    void Save(std::vector<SIniEdit>& edits) const override;
    bool Changed() const override { return Value() != m_shown; }
    int Value() const { return m_value(m_loaded); }
    const SKeyRef& Key() const { return m_key; }

private:
    SKeyRef m_key;
    std::function<void(int)> m_show;
    std::function<int(int)> m_value;
    int m_loaded = 0;
    int m_shown = 0;
};

class CStringBinding : public COptionBinding {
public:
    CStringBinding(EKey key, QLineEdit* edit);
    void Load(const CSettings& settings) override;
    void Save(std::vector<SIniEdit>& edits) const override;
    bool Changed() const override { return Value() != m_shown; }
    std::string Value() const;

private:
    EKey m_key;
    QLineEdit* m_pEdit;
    std::string m_shown;
};

// One page of the options dialog. Controls made through the helpers below
// are bound to their keys; pages with more to do override the hooks.
class COptionPage : public QWidget {
    Q_OBJECT
public:
    COptionPage(CMainFrame* frame, const char* title);

    QString Title() const { return m_title; }
    bool IsShown() const { return m_bShown; }
    // Reads every key, once: when the page is first shown.
    void Show(const CSettings& settings);
    // The edits of the changed controls.
    void Save(std::vector<SIniEdit>& edits) const;
    bool Changed() const;

    // A message when a value cannot be stored (the dialog stays open).
    virtual QString Refusal() const { return {}; }
    // Files of its own (lists) written on OK; a message when one failed.
    virtual QString WriteFiles() { return {}; }

    // The binding of a key on this page and its control; nullptr when the
    // page has none.
    COptionBinding* Binding(EKey key) const;
    QWidget* Control(EKey key) const;

protected:
    virtual void OnLoad(const CSettings& settings);
    virtual void OnSave(std::vector<SIniEdit>& edits) const;

    // Bound controls, added to the page's layout.
    QCheckBox* Check(EKey key, const char* label);
    // A check box over a value other than on/off.
    QCheckBox* Check(EKey key, const char* label, std::function<bool(int)> checked,
                     std::function<int(bool, int loaded)> value);
    QSpinBox* Spin(EKey key, int min, int max, QLayout* into = nullptr);
    QComboBox* Combo(EKey key, const char* label, std::initializer_list<const char*> items);
    QLineEdit* Text(EKey key, const char* label);
    // A check box with its number beside it.
    QSpinBox* CheckWithSpin(EKey check, const char* label, EKey number, int min, int max);
    void Bind(EKey key, std::unique_ptr<COptionBinding> binding, QWidget* control = nullptr);

    // A labelled row: the label (with its mnemonic) and the widgets.
    QHBoxLayout* Row(const char* label, std::initializer_list<QWidget*> widgets);

    QHBoxLayout* LastRow() const { return m_pLastRow; }

    CMainFrame* m_pFrame;
    QVBoxLayout* m_pLayout;
    // Where the helpers put their controls (m_pLayout unless a group's).
    QBoxLayout* m_pTarget;

private:
    QHBoxLayout* m_pLastRow = nullptr;
    QString m_title;
    bool m_bShown = false;
    struct SBound {
        EKey key;
        std::unique_ptr<COptionBinding> binding;
        QWidget* control;
    };
    std::vector<SBound> m_bindings;
};

} // namespace nimbra
