#include "parallel/task_id.h"

#if defined(_WIN32)
#include <objbase.h>
#include <rpc.h>

#include <stdexcept>
#else
#include <uuid/uuid.h>
#endif

namespace framedec {

#if defined(_WIN32)

std::string NewTaskId() {
    GUID guid;
    if (CoCreateGuid(&guid) != S_OK) throw std::runtime_error("CoCreateGuid failed");
    RPC_CSTR text = nullptr;
    if (UuidToStringA(&guid, &text) != RPC_S_OK) throw std::runtime_error("UuidToStringA failed");
    // Copy first, then release the platform's string whether or not the copy succeeded.
    std::string id;
    try {
        id = reinterpret_cast<const char*>(text);
    } catch (...) {
        RpcStringFreeA(&text);
        throw;
    }
    RpcStringFreeA(&text);
    return id;
}

#else

std::string NewTaskId() {
    uuid_t guid;
    uuid_generate_random(guid);
    char text[kTaskIdLength + 1];  // uuid_unparse writes 36 characters and a terminating zero
    uuid_unparse_lower(guid, text);
    return std::string(text, kTaskIdLength);
}

#endif

}  // namespace framedec
