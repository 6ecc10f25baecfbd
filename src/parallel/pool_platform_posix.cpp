// POSIX: a library's destructors run at dlclose or exit while its threads still exist, so the
// shutdown always joins the workers and nothing needs pinning.
#include "parallel/pool_platform.h"

namespace framedec {

bool KeepModuleWhileWorkersRun() noexcept { return true; }

bool WorkersStillExist() noexcept { return true; }

}  // namespace framedec
