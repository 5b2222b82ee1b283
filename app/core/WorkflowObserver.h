// What a view of the workflow is told, on the main thread, after the workflow's state has
// changed: the rows, the batch, the boxes and the status texts. A view reads the new state
// from the workflow (rows, boxes, status fields); it never parses a display text.
#pragma once

#include <string>

namespace corvina::app {

class WorkflowObserver {
public:
    virtual ~WorkflowObserver() = default;

    // --- the file list ---
    virtual void RowsInserted(int /*first*/, int /*count*/) {}
    virtual void RowChanged(int /*row*/) {} // cells, check mark, state or typed values
    virtual void RowRemoved(int /*row*/) {}
    virtual void RowsReset() {} // every row gone
    virtual void SelectionChanged(int /*row*/) {}

    // --- the batch ---
    virtual void BatchStarted() {}
    virtual void JobStarted(int /*row*/) {} // the row's job was handed to the engine
    // A progress report of the row's job; the typed values are in the row.
    virtual void ProgressChanged(int /*row*/) {}
    // The row's job ended "Done", "Fail" or "Abort" (its state says which; Reason why).
    virtual void JobFinished(int /*row*/) {}
    // "All Conversions Completed" is about to be shown.
    virtual void BatchCompleted() {}
    // Stop ended the batch (no completion follows).
    virtual void BatchStopped() {}

    // --- everything else the window shows ---
    // Items, selections, enabled states or hints of the boxes, the locked controls, the
    // menu and the context menu.
    virtual void BoxesChanged() {}
    // Output folder, status panel, progress bar, volume label, the batch flags.
    virtual void StatusChanged() {}
    // The preview stops (before a batch, before adding files, on close).
    virtual void StopPreview() {}
};

} // namespace corvina::app
