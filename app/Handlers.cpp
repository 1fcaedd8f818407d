// Placeholders until the flows land; each is replaced by its flow's file.
#include "app/Handlers.h"

namespace app {

void CreateAppState() {}
void ResetCounters() {}
void ReleaseAppState() {}

void OnPathTextChanged(host::Host&) {}
void OnBrowseClicked(host::Host&) {}
void OnFilesDropped(host::Host&, const host::Text&) {}
void OnConvertClicked(host::Host&, SingleTarget) {}
void OnSaveClicked(host::Host&) {}
void OnBrowseBatchSource(host::Host&) {}
void OnBrowseBatchTarget(host::Host&) {}
void OnBatchClicked(host::Host&, BatchTarget) {}

}  // namespace app
