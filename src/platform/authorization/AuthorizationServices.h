#pragma once

#include <cstdint>

// The shape of the authorization service the controller talks to: integer
// statuses (0 = success), an opaque handle that may be null, a rights set and
// flag bits.
using OSStatus = std::int32_t;
using AuthorizationFlags = std::uint32_t;
using AuthorizationRef = struct AuthorizationOpaqueRef *;

struct AuthorizationItem {
    const char *name = nullptr;
    std::uint64_t valueLength = 0;
    void *value = nullptr;
    std::uint32_t flags = 0;
};

struct AuthorizationRights {
    std::uint32_t count = 0;
    AuthorizationItem *items = nullptr;
};

namespace AuthorizationStatus {
constexpr OSStatus success = 0;
constexpr OSStatus denied = -60005;
constexpr OSStatus canceled = -60006;
constexpr OSStatus interactionNotAllowed = -60007;
constexpr OSStatus internal = -60008;
constexpr OSStatus busy = -60009;
// The request never reached a person, each for a reason the user can mend:
// nobody can be asked (no agent), the service cannot be reached, or it does
// not know the application's action.
constexpr OSStatus noAgent = interactionNotAllowed;
constexpr OSStatus serviceUnavailable = -60100;
constexpr OSStatus actionNotInstalled = -60101;
} // namespace AuthorizationStatus

namespace AuthorizationFlag {
constexpr AuthorizationFlags interactionAllowed = 1u << 0;
constexpr AuthorizationFlags extendRights = 1u << 1;
} // namespace AuthorizationFlag

class AuthorizationServices {
public:
    virtual ~AuthorizationServices() = default;
    virtual OSStatus create(const AuthorizationRights *rights, const void *environment,
                            AuthorizationFlags flags, AuthorizationRef *authorization) = 0;
    virtual OSStatus copyRights(AuthorizationRef authorization, const AuthorizationRights *rights,
                                const void *environment, AuthorizationFlags flags,
                                AuthorizationRights **authorizedRights) = 0;
    virtual void free(AuthorizationRef authorization) = 0;
    // Ends a pending copyRights at once with a non-zero status.
    virtual void cancel() = 0;
};
