#include "parallel/task_id.h"

#if defined(_WIN32)
#include <objbase.h>
#include <rpc.h>

#include <stdexcept>
#elif defined(FRAMEDEC_HAVE_LIBUUID)
#include <uuid/uuid.h>
#else
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
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

#elif defined(FRAMEDEC_HAVE_LIBUUID)

std::string NewTaskId() {
    uuid_t guid;
    uuid_generate_random(guid);
    char text[kTaskIdLength + 1];  // uuid_unparse writes 36 characters and a terminating zero
    uuid_unparse_lower(guid, text);
    return std::string(text, kTaskIdLength);
}

#else

// Only for cross builds whose target system lacks libuuid: the same random (version 4) GUID,
// from the standard library's random source (getrandom on Linux).
std::string NewTaskId() {
    std::random_device source;
    std::array<uint8_t, 16> bytes;
    for (std::size_t i = 0; i < bytes.size(); i += sizeof(uint32_t)) {
        const uint32_t word = source();
        std::memcpy(bytes.data() + i, &word, sizeof word);
    }
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4: random
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // the standard variant
    char text[kTaskIdLength + 1];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                  bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return std::string(text, kTaskIdLength);
}

#endif

}  // namespace framedec
