// The settings store: the registry the gateway and the client utilities keep their settings in.
// Hives, backslash-separated keys that are case-insensitive and case-preserving, typed values
// (REG_SZ stored with its terminating zero, REG_DWORD little-endian, REG_BINARY), enumeration
// and counts, and Win32 error codes. Backed by one SQLite database (see StorePath).
// Thread-safe: every call takes the store's lock; several processes may share one file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Win32 error codes the store returns.
inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorInvalidParameter = 87;
inline constexpr long kErrorMoreData = 234;
inline constexpr long kErrorNoMoreItems = 259;
inline constexpr long kErrorBadKey = 1010;
inline constexpr long kErrorKeyDeleted = 1018;

// Value types.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

enum class Hive { kLocalMachine, kCurrentUser, kClassesRoot };

// Parses "HKEY_LOCAL_MACHINE" (also "HKLM"), "HKEY_CURRENT_USER" ("HKCU"),
// "HKEY_CLASSES_ROOT" ("HKCR"), case-insensitively. Returns false for anything else.
[[nodiscard]] bool ParseHive(std::string_view text, Hive* hive);
[[nodiscard]] const char* HiveName(Hive hive);

// An open key. Default-constructed it is invalid; the hive's root is RegKey::Root(hive).
// Copyable; closing is a no-op kept for the shape of the callers (RegCloseKey).
class RegKey {
 public:
  RegKey() = default;
  static RegKey Root(Hive hive);
  [[nodiscard]] bool valid() const { return id_ > 0; }
  [[nodiscard]] int64_t id() const { return id_; }

 private:
  friend class RegistryStore;
  explicit RegKey(int64_t id) : id_(id) {}
  int64_t id_ = 0;
};

// Selects the database file for this process. When never called, the first use picks
// $WAYFARER_REGISTRY, else /var/lib/wayfarer/registry.db for root, else
// $XDG_STATE_HOME/wayfarer/registry.db (default ~/.local/state/wayfarer/registry.db).
// Tests call it with a private file. Closes any store opened before.
void UseStore(const std::string& path);
// The path in use (or the one the first use will pick).
[[nodiscard]] std::string StorePath();
// Opens the store now (creating a new one when the file is missing or empty). False when it
// cannot be used: not a database of ours, damaged, unreadable; such a file is left as it was
// and every later call fails with kErrorAccessDenied.
[[nodiscard]] bool StoreAvailable();

// Creates (or opens) the key subkey below parent; intermediate keys are created too.
// subkey may be "" (opens parent). *created tells whether the last key was new.
[[nodiscard]] long RegCreateKey(const RegKey& parent, std::string_view subkey, RegKey* out,
                                bool* created = nullptr);
[[nodiscard]] long RegCreateKey(Hive hive, std::string_view subkey, RegKey* out,
                                bool* created = nullptr);
// Opens an existing key; kErrorFileNotFound when it does not exist.
[[nodiscard]] long RegOpenKey(const RegKey& parent, std::string_view subkey, RegKey* out);
[[nodiscard]] long RegOpenKey(Hive hive, std::string_view subkey, RegKey* out);
long RegCloseKey(RegKey key);

// Several calls made one: while a StoreTransaction lives, every call of this thread joins it
// and other threads and processes wait for it; its changes become durable together at Commit()
// and are all dropped when it is destroyed uncommitted (or the process dies first). Keep it to
// a few store calls: nothing else may be waited for inside it. One opened inside another is
// part of it (its changes dropped alone when it is destroyed uncommitted).
class StoreTransaction {
 public:
  StoreTransaction();
  ~StoreTransaction();
  StoreTransaction(const StoreTransaction&) = delete;
  StoreTransaction& operator=(const StoreTransaction&) = delete;
  // False when the transaction could not be opened or committed (nothing was kept).
  [[nodiscard]] bool Commit();

 private:
  bool open_;
};

// Reads a value. With data == nullptr only *type and *size are set. When *size is too small
// for the data, returns kErrorMoreData and sets *size to the size needed (data untouched).
[[nodiscard]] long RegQueryValue(const RegKey& key, std::string_view name, uint32_t* type,
                                 void* data, uint32_t* size);
// Convenience forms. A REG_SZ read with width w gives at most w-1 characters (cut silently);
// the string forms fail with kErrorFileNotFound when the value is missing and
// kErrorInvalidParameter when it has another type.
[[nodiscard]] long RegQueryString(const RegKey& key, std::string_view name, std::string* out,
                                  size_t width = 0 /* 0: no limit */);
[[nodiscard]] long RegQueryDword(const RegKey& key, std::string_view name, uint32_t* out);
[[nodiscard]] long RegQueryBytes(const RegKey& key, std::string_view name, uint32_t* type,
                                 std::vector<uint8_t>* out);

// Writes a value (creating or replacing it). Each write is its own durable transaction
// (outside a StoreTransaction).
[[nodiscard]] long RegSetValue(const RegKey& key, std::string_view name, uint32_t type,
                               const void* data, uint32_t size);
// REG_SZ with its terminating zero counted.
[[nodiscard]] long RegSetString(const RegKey& key, std::string_view name, std::string_view text);
[[nodiscard]] long RegSetDword(const RegKey& key, std::string_view name, uint32_t value);

[[nodiscard]] long RegDeleteValue(const RegKey& key, std::string_view name);
// Deletes subkey and everything below it.
[[nodiscard]] long RegDeleteKey(const RegKey& parent, std::string_view subkey);

// Enumeration in name order (case-insensitive); kErrorNoMoreItems past the end.
[[nodiscard]] long RegEnumKey(const RegKey& key, uint32_t index, std::string* name);
[[nodiscard]] long RegEnumValue(const RegKey& key, uint32_t index, std::string* name,
                                uint32_t* type, std::vector<uint8_t>* data);
// Number of direct subkeys and values.
[[nodiscard]] long RegQueryInfoKey(const RegKey& key, uint32_t* subkeys, uint32_t* values);
// The key's full path below its hive, as stored (case preserved), and its hive.
[[nodiscard]] long RegKeyPath(const RegKey& key, Hive* hive, std::string* path);

}  // namespace platform
