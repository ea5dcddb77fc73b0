#pragma once
// The files that hold secrets: config/users.cfg keeps the accounts' passwords and
// config/chatrooms.cfg the rooms' passwords, both recoverable (Base64). They and the config
// directory are for the account that runs the server alone.
//
//   HoldsSecrets(path)        users.cfg, chatrooms.cfg, or a copy beside one ("users.cfg.*")
//   OwnerOnlyMode(mode)       the mode without any permission for group and others; what the
//                             owner had is kept, so a stricter mode an administrator set stays
//   MakeOwnerOnly(path)       applies OwnerOnlyMode to an existing file or directory
//   KeepSecretsPrivate()      at start-up: config/ (created 0700 when missing) and the files
//                             holding secrets made owner-only

#include <sys/types.h>

#include <string>

namespace velmorin {

inline constexpr mode_t kSecretFileMode = 0600;
inline constexpr mode_t kSecretDirectoryMode = 0700;

bool HoldsSecrets(const std::string& path);
mode_t OwnerOnlyMode(mode_t mode);

// 0 when done or the path does not exist; else the errno of stat or chmod.
int MakeOwnerOnly(const std::string& path);

// 0, or the errno of the first step that failed (every step is tried).
int KeepSecretsPrivate();

}  // namespace velmorin
