#include "app/window/FileListView.h"

#include <QHeaderView>
#include <QSignalBlocker>

namespace corvina::window {

namespace {

struct Column {
    const char* caption;
    int width;
    Qt::Alignment alignment;
};
// The caption column, then the six cells that have a column; the seventh cell has none.
constexpr Column kColumns[] = {
    {"Video File Name", 310, Qt::AlignLeft | Qt::AlignVCenter},
    {"Video Size", 90, Qt::AlignCenter},
    {"FrameRate", 80, Qt::AlignCenter},
    {"Duration", 60, Qt::AlignCenter},
    {"Output", 65, Qt::AlignCenter},
    {"Progress", 57, Qt::AlignCenter},
    {"Frames", 60, Qt::AlignCenter},
};
constexpr int kVisibleColumns = 7;
// The seventh cell has no column: the item keeps it as data.
constexpr int kSpareCellRole = Qt::UserRole + 1;

} // namespace

FileListView::FileListView(app::ConversionWorkflow& workflow, QWidget* parent)
    : QTreeWidget(parent), workflow_(workflow) {
    setObjectName("ListView1");
    setAccessibleName("Video File List");
    setColumnCount(kVisibleColumns);
    QStringList captions;
    for (const Column& c : kColumns)
        captions << c.caption;
    setHeaderLabels(captions);
    for (int i = 0; i < kVisibleColumns; i++) {
        setColumnWidth(i, kColumns[i].width);
        headerItem()->setTextAlignment(i, kColumns[i].alignment);
    }
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    // Grid lines between the cells.
    // Grid lines between the cells; the selected row stays marked when the list has no focus.
    setStyleSheet("QTreeView::item { border-right: 1px solid palette(midlight); "
                  "border-bottom: 1px solid palette(midlight); }"
                  "QTreeView::item:selected { background: palette(highlight); "
                  "color: palette(highlighted-text); }");

    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (updating_ || column != 0)
            return;
        workflow_.SetChecked(indexOfTopLevelItem(item), item->checkState(0) == Qt::Checked);
    });
    connect(this, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (updating_)
            return;
        const QList<QTreeWidgetItem*> selected = selectedItems();
        workflow_.SelectRow(selected.isEmpty() ? -1 : indexOfTopLevelItem(selected.first()));
    });
}

void FileListView::FillItem(QTreeWidgetItem* item, const app::ConversionItem& row) {
    item->setText(0, QString::fromStdString(row.Caption));
    item->setToolTip(0, QString::fromStdString(row.Caption));
    for (int cell = 0; cell < app::kCellSpare; cell++)
        item->setText(cell + 1, QString::fromStdString(row.Cells[cell]));
    item->setData(0, kSpareCellRole, QString::fromStdString(row.Cells[app::kCellSpare]));
    item->setCheckState(0, row.Checked ? Qt::Checked : Qt::Unchecked);
    const bool failed = row.State == app::RowState::Error || row.State == app::RowState::Fail;
    if (failed)
        item->setToolTip(1 + app::kCellProgress, QString::fromStdString(row.Reason));
    else if (row.State != app::RowState::Converting)
        item->setToolTip(1 + app::kCellProgress, QString());
}

void FileListView::InsertRows(int first, int count) {
    updating_ = true;
    QTreeWidgetItem* last = nullptr;
    for (int i = first; i < first + count; i++) {
        auto* item = new QTreeWidgetItem(); // owned by the list from the insertion on
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                       Qt::ItemNeverHasChildren);
        for (int c = 0; c < kVisibleColumns; c++)
            item->setTextAlignment(c, kColumns[c].alignment);
        FillItem(item, workflow_.Rows[i]);
        insertTopLevelItem(i, item);
        last = item;
    }
    updating_ = false;
    if (last)
        scrollToItem(last);
}

void FileListView::UpdateRow(int row) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item || row >= static_cast<int>(workflow_.Rows.size()))
        return;
    updating_ = true;
    FillItem(item, workflow_.Rows[row]);
    updating_ = false;
}

void FileListView::RemoveRow(int row) {
    updating_ = true;
    delete takeTopLevelItem(row);
    updating_ = false;
}

void FileListView::ResetRows() {
    updating_ = true;
    clear();
    updating_ = false;
}

void FileListView::SelectRow(int row) {
    updating_ = true;
    QTreeWidgetItem* item = row >= 0 ? topLevelItem(row) : nullptr;
    if (item)
        setCurrentItem(item);
    else
        clearSelection();
    updating_ = false;
}

void FileListView::SetProgressToolTip(int row, const QString& text) {
    if (QTreeWidgetItem* item = topLevelItem(row))
        item->setToolTip(1 + app::kCellProgress, text);
}

} // namespace corvina::window
