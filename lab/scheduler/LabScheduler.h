#pragma once
// The lab's Task Scheduler objects: ITaskService, ITaskFolder, the folder and task collections
// and IRegisteredTask over the task store (TaskStore.h).

#include <windows.h>

namespace hf::lab {

// Live objects plus IClassFactory::LockServer locks of this DLL; DllCanUnloadNow is S_OK at 0.
void LockModule() noexcept;
void UnlockModule() noexcept;
long ModuleLocks() noexcept;

// Creates the scheduler service, the class's only creatable object, and hands out `riid`.
HRESULT CreateTaskService(REFIID riid, void** out) noexcept;

}  // namespace hf::lab
