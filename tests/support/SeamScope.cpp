#include "tests/support/SeamScope.h"

#include "base/AtomicFile.h"
#include "ras/service/SystemRoot.h"

TSystemRootScope::TSystemRootScope(const std::string& root)
{
    SetSystemRootForTests(root);
}

TSystemRootScope::~TSystemRootScope()
{
    SetSystemRootForTests({});
}

TAtomicWriteHookScope::TAtomicWriteHookScope(void (*hook)(const std::string& tempPath))
{
    SetAtomicWriteHookForTests(hook);
}

TAtomicWriteHookScope::~TAtomicWriteHookScope()
{
    SetAtomicWriteHookForTests(nullptr);
}
