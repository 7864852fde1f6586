#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QPersistentModelIndex>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QMimeData;
class QToolBar;

namespace nimbra {

// The entries of an editable list, one line of text each: a line break in
// an entry (typed, pasted or dropped) becomes a blank.
class CEditableListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    const std::vector<std::string>& Rows() const { return m_rows; }
    void SetRows(std::vector<std::string> rows);
    void Append(std::vector<std::string> rows);
    // Inserts before `row` (the end when out of range); the row it got.
    int Insert(int row, std::string text);
    void Remove(int row);
    // Moves an entry so that it lands at `to` (an index of the list after
    // the move); false when nothing moved.
    bool Move(int from, int to);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override;

private:
    std::vector<std::string> m_rows;
};

// The list of an editable list: keys, in-place editing, drag reordering
// and drops.
class CEditableListView : public QListView {
    Q_OBJECT
public:
    explicit CEditableListView(QWidget* parent = nullptr);

    bool IsEditing() const { return state() == EditingState; }

Q_SIGNALS:
    void HomePressed();
    void InsertPressed();
    void DeletePressed();
    void MovePressed(int delta);
    // Files, links or text dropped from outside, before `row`.
    void EntriesDropped(const std::vector<std::string>& entries, int row);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    int DropRow(const QPoint& pos) const;
};

// An editable list of texts with its button bar: Home (the caller's text,
// such as the active tab's URL), Insert (a new entry edited in place),
// Delete, Up and Down (Ctrl+arrow, the entry stays selected). Space, F2
// and a double click edit the selected entry; entries can be dragged to
// another place; files and links dropped on the list become entries.
class CEditableList : public QWidget {
    Q_OBJECT
public:
    explicit CEditableList(QWidget* parent = nullptr);

    CEditableListModel& Model() { return m_model; }
    CEditableListView* View() const { return m_pView; }
    QToolBar* ButtonBar() const { return m_pBar; }

    // What Home appends; nothing when it gives an empty text.
    void SetHomeText(std::function<std::string()> homeText) { m_homeText = std::move(homeText); }

    int CurrentRow() const;
    void SelectRow(int row);

    void AppendHome();
    // A new entry after the selected one (at the end without one), edited
    // in place; left empty, it goes again.
    void InsertRow();
    void DeleteSelected();
    void MoveSelected(int delta);
    void EditSelected();
    bool IsEditing() const;
    // Ends an edit in progress, keeping what was typed.
    void CommitEdit();

private:
    void OnEditorClosed();

    CEditableListModel m_model;
    CEditableListView* m_pView;
    QToolBar* m_pBar;
    std::function<std::string()> m_homeText;
    QPersistentModelIndex m_newRow;
};

} // namespace nimbra
