// Whether AddressSanitizer is built in: the child readers of catalogues and disc images then set
// no address-space limit, under which it cannot start.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define ORV_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORV_ADDRESS_SANITIZER 1
#endif
#endif
