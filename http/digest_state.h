#pragma once
// What the upgrader keeps of the device's Digest challenge and the user's
// credentials. All texts are NUL-terminated in fixed fields.
#include <cstdint>

struct DigestState {
  uint32_t nonce_count;       // Authorization headers made for the current nonce
  char previous_nonce[128];   // the nonce that nonce_count counts for
  char nonce[128];
  char cnonce[128];           // 1 to 4 hex digits, drawn anew at every challenge
  char user[128];
  char password[128];         // empty: no Authorization header is sent
  char realm[128];
  char qop[16];
  char algorithm[16];
  char uri[128];
  char opaque[128];
};
static_assert(sizeof(DigestState) == 1060);
