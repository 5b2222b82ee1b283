#include "hosting/TranscodeEngine.h"

#include "binding/Binding.h"
#include "hosting/EngineComponent.h"

namespace corvina::hosting {

TTranscodeEngine::TTranscodeEngine(MainThreadScheduler* scheduler)
    : component_(std::make_unique<TEngineComponent>(scheduler)),
      OnBeforeHook(component_->OnBeforeHook), OnCustomHook(component_->OnCustomHook),
      OnLog(component_->OnLog), OnProgress(component_->OnProgress),
      OnTerminate(component_->OnTerminate) {}

TTranscodeEngine::~TTranscodeEngine() = default;

void TTranscodeEngine::SetScheduler(MainThreadScheduler* scheduler) {
    component_->SetScheduler(scheduler);
}
bool TTranscodeEngine::LoadLibraries(const std::string& folder, bool versioned) {
    return component_->LoadLibraries(folder, versioned);
}
void TTranscodeEngine::ClearTasks() {
    component_->ClearTasks();
}
int TTranscodeEngine::AddTask(const std::string& fileName, const TInputOptions* options) {
    return component_->AddTask(fileName, options);
}
bool TTranscodeEngine::SetOutputFile(int index, const std::string& fileName,
                                     const TOutputOptions* options) {
    return component_->SetOutputFile(index, fileName, options);
}
void TTranscodeEngine::RemoveTask(int index) {
    component_->RemoveTask(index);
}
void TTranscodeEngine::Start(int threadCount) {
    component_->Start(threadCount);
}
void TTranscodeEngine::Stop() {
    component_->Stop();
}
void TTranscodeEngine::Pause() {
    component_->Pause();
}
void TTranscodeEngine::Resume() {
    component_->Resume();
}
const std::string& TTranscodeEngine::LastError() const {
    return component_->LastError();
}
int TTranscodeEngine::TaskCount() const {
    return component_->TaskCount();
}
TMediaProbe& TTranscodeEngine::Probe() {
    return component_->Probe();
}
TLogLevel TTranscodeEngine::LogLevel() const {
    return component_->LogLevel();
}
void TTranscodeEngine::SetLogLevel(TLogLevel level) {
    component_->SetLogLevel(level);
}
int TTranscodeEngine::ThreadCount() const {
    return component_->ThreadCount();
}
void TTranscodeEngine::SetThreadCount(int count) {
    component_->SetThreadCount(count);
}
int TTranscodeEngine::ProgressInterval() const {
    return component_->ProgressInterval();
}
void TTranscodeEngine::SetProgressInterval(int ms) {
    component_->SetProgressInterval(ms);
}
TConvertPriority TTranscodeEngine::ThreadPriority() const {
    return component_->ThreadPriority();
}
void TTranscodeEngine::SetThreadPriority(TConvertPriority priority) {
    component_->SetThreadPriority(priority);
}

std::string ProgramFolder() {
    return binding::ProgramFolder();
}

bool BindLibraries(const std::string& folder, std::string& error) {
    if (binding::LoadAll(folder, true))
        return true;
    error = binding::LoaderErrorText();
    return false;
}

std::vector<LibraryVersion> BoundLibraryVersions() {
    std::vector<LibraryVersion> versions;
    for (binding::LibraryId id : binding::kBindingOrder)
        versions.push_back(
            {binding::LibraryDisplayName(id), binding::GetLibrary(id).RuntimeVersion()});
    return versions;
}

} // namespace corvina::hosting
