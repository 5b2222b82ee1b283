// ListView1: the file list as a report view over the workflow's rows. Rows, cells, check
// marks and the selection follow the core; the user's check marks and selection go back to
// it. A failed row's "Progress" cell tells why in its tooltip; a running row's tells the
// time elapsed and left.
#pragma once

#include "app/core/Workflow.h"

#include <QTreeWidget>

namespace corvina::window {

class FileListView : public QTreeWidget {
public:
    FileListView(app::ConversionWorkflow& workflow, QWidget* parent);

    void InsertRows(int first, int count);
    void UpdateRow(int row);
    void RemoveRow(int row);
    void ResetRows();
    void SelectRow(int row);
    void SetProgressToolTip(int row, const QString& text);

private:
    void FillItem(QTreeWidgetItem* item, const app::ConversionItem& row);

    app::ConversionWorkflow& workflow_;
    bool updating_ = false; // our own changes must not echo back to the core
};

} // namespace corvina::window
