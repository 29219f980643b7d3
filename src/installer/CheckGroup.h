// cxCheckGroup1's kind: a framed list of check boxes with a caption. Items get identifiers when
// they are added: a running number from 0 that is never reused within the life of the group, so
// a table row that keeps an item's identifier leads back to exactly that item. Cannot fail.
#pragma once

#include <QGroupBox>
#include <QString>
#include <vector>

class QCheckBox;
class QScrollArea;
class QVBoxLayout;

class TcxCheckGroup : public QGroupBox {
  Q_OBJECT

 public:
  explicit TcxCheckGroup(const QString& caption, QWidget* parent = nullptr);

  // Display updates are suspended between the two (the list is rebuilt in one go).
  void BeginUpdate();
  void EndUpdate();

  void Clear();
  // Appends an unticked item and returns its identifier. The caption is shown as it stands (an
  // '&' in an application's name is no accelerator mark).
  int AddItem(const QString& caption);

  int Count() const;
  int ItemId(int index) const;
  QString ItemCaption(int index) const;
  bool Checked(int index) const;
  void SetChecked(int index, bool checked);

  QCheckBox* Item(int index) const { return items_.at(static_cast<std::size_t>(index)).box; }

 private:
  struct TItem {
    QCheckBox* box;
    int id;
    QString caption;
  };
  QScrollArea* scroll_ = nullptr;
  QWidget* itemsPanel_ = nullptr;
  QVBoxLayout* itemsLayout_ = nullptr;
  std::vector<TItem> items_;
  int nextId_ = 0;
};
