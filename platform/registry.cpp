// The settings store's calls: key paths, values, enumeration and deletion on top of the
// SQLite tables of registry_store.cpp. Every call is one transaction on the shared store.
// Thread-safe: each call runs under RegistryStore's lock.
#include "platform/registry.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "platform/registry_store.h"

namespace platform {
namespace {

constexpr size_t kMaxKeyNameLength = 255;

struct HiveEntry {
  Hive hive;
  const char* name;
  const char* short_name;
  int64_t root_id;
};

constexpr HiveEntry kHives[] = {
    {Hive::kLocalMachine, "HKEY_LOCAL_MACHINE", "HKLM", 1},
    {Hive::kCurrentUser, "HKEY_CURRENT_USER", "HKCU", 2},
    {Hive::kClassesRoot, "HKEY_CLASSES_ROOT", "HKCR", 3},
};

bool EqualsNoCase(std::string_view a, const char* b) {
  return a.size() == std::strlen(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

// Splits "A\B\C" into its names. One leading and one trailing backslash are ignored; an empty
// name inside the path or a name longer than 255 characters is kErrorBadKey.
long SplitPath(std::string_view path, std::vector<std::string_view>* names) {
  if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  names->clear();
  if (path.empty()) return kErrorSuccess;
  size_t start = 0;
  while (true) {
    size_t end = std::min(path.find('\\', start), path.size());
    std::string_view name = path.substr(start, end - start);
    if (name.empty() || name.size() > kMaxKeyNameLength) return kErrorBadKey;
    names->push_back(name);
    if (end == path.size()) return kErrorSuccess;
    start = end + 1;
  }
}

// kErrorSuccess when the key still exists, kErrorKeyDeleted when it was deleted.
long CheckKey(sqlite3* db, int64_t id) {
  Stmt find(db, "SELECT 1 FROM keys WHERE id = ?1");
  int rc = find.Bind(1, id).Step();
  if (rc == SQLITE_ROW) return kErrorSuccess;
  return rc == SQLITE_DONE ? kErrorKeyDeleted : kErrorAccessDenied;
}

// Finds (or with create, makes) the key below parent; *created tells whether the last one is new.
long Resolve(sqlite3* db, int64_t parent, std::string_view subkey, bool create, int64_t* id,
             bool* created) {
  std::vector<std::string_view> names;
  if (long rc = SplitPath(subkey, &names); rc != kErrorSuccess) return rc;
  if (long rc = CheckKey(db, parent); rc != kErrorSuccess) return rc;
  *created = false;
  for (std::string_view name : names) {
    Stmt find(db, "SELECT id FROM keys WHERE parent = ?1 AND name = ?2");
    int rc = find.Bind(1, parent).Bind(2, name).Step();
    if (rc == SQLITE_ROW) {
      parent = find.Int(0);
      *created = false;
      continue;
    }
    if (rc != SQLITE_DONE) return kErrorAccessDenied;
    if (!create) return kErrorFileNotFound;
    Stmt insert(db, "INSERT INTO keys(parent, name) VALUES(?1, ?2)");
    if (insert.Bind(1, parent).Bind(2, name).Step() != SQLITE_DONE) return kErrorAccessDenied;
    parent = sqlite3_last_insert_rowid(db);
    *created = true;
  }
  *id = parent;
  return kErrorSuccess;
}

// Reads one value into *type and *data; kErrorFileNotFound when it is missing.
long LoadValue(sqlite3* db, int64_t key, std::string_view name, uint32_t* type, std::string* data) {
  if (long rc = CheckKey(db, key); rc != kErrorSuccess) return rc;
  Stmt find(db, "SELECT type, data FROM key_values WHERE key_id = ?1 AND name = ?2");
  int rc = find.Bind(1, key).Bind(2, name).Step();
  if (rc == SQLITE_DONE) return kErrorFileNotFound;
  if (rc != SQLITE_ROW) return kErrorAccessDenied;
  *type = static_cast<uint32_t>(find.Int(0));
  *data = std::string(find.Blob(1));
  return kErrorSuccess;
}

long ReadValue(const RegKey& key, std::string_view name, uint32_t* type, std::string* data) {
  if (!key.valid()) return kErrorInvalidHandle;
  return RegistryStore::Instance().Read(
      [&](sqlite3* db) { return LoadValue(db, key.id(), name, type, data); });
}

long DeleteSubtree(sqlite3* db, int64_t id) {
  static constexpr const char* kSubtree =
      "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL "
      "SELECT keys.id FROM keys JOIN sub ON keys.parent = sub.id) ";
  std::string values_sql = std::string(kSubtree) + "DELETE FROM key_values WHERE key_id IN sub";
  std::string keys_sql = std::string(kSubtree) + "DELETE FROM keys WHERE id IN sub";
  Stmt values(db, values_sql.c_str());
  if (values.Bind(1, id).Step() != SQLITE_DONE) return kErrorAccessDenied;
  Stmt keys(db, keys_sql.c_str());
  return keys.Bind(1, id).Step() == SQLITE_DONE ? kErrorSuccess : kErrorAccessDenied;
}

}  // namespace

bool ParseHive(std::string_view text, Hive* hive) {
  for (const HiveEntry& entry : kHives) {
    if (EqualsNoCase(text, entry.name) || EqualsNoCase(text, entry.short_name)) {
      *hive = entry.hive;
      return true;
    }
  }
  return false;
}

const char* HiveName(Hive hive) {
  for (const HiveEntry& entry : kHives) {
    if (entry.hive == hive) return entry.name;
  }
  return "";
}

RegKey RegKey::Root(Hive hive) {
  for (const HiveEntry& entry : kHives) {
    if (entry.hive == hive) return RegKey(entry.root_id);
  }
  return RegKey();
}

void UseStore(const std::string& path) { RegistryStore::Instance().Use(path); }

std::string StorePath() { return RegistryStore::Instance().Path(); }

bool StoreAvailable() {
  return RegistryStore::Instance().Read([](sqlite3*) { return kErrorSuccess; }) == kErrorSuccess;
}

long RegCreateKey(const RegKey& parent, std::string_view subkey, RegKey* out, bool* created) {
  if (!parent.valid()) return kErrorInvalidHandle;
  int64_t id = 0;
  bool is_new = false;
  long rc = RegistryStore::Instance().Write(
      [&](sqlite3* db) { return Resolve(db, parent.id(), subkey, true, &id, &is_new); });
  if (rc != kErrorSuccess) return rc;
  *out = RegistryStore::MakeKey(id);
  if (created != nullptr) *created = is_new;
  return kErrorSuccess;
}

long RegCreateKey(Hive hive, std::string_view subkey, RegKey* out, bool* created) {
  return RegCreateKey(RegKey::Root(hive), subkey, out, created);
}

long RegOpenKey(const RegKey& parent, std::string_view subkey, RegKey* out) {
  if (!parent.valid()) return kErrorInvalidHandle;
  int64_t id = 0;
  bool is_new = false;
  long rc = RegistryStore::Instance().Read(
      [&](sqlite3* db) { return Resolve(db, parent.id(), subkey, false, &id, &is_new); });
  if (rc == kErrorSuccess) *out = RegistryStore::MakeKey(id);
  return rc;
}

long RegOpenKey(Hive hive, std::string_view subkey, RegKey* out) {
  return RegOpenKey(RegKey::Root(hive), subkey, out);
}

long RegCloseKey(RegKey key) { return key.valid() ? kErrorSuccess : kErrorInvalidHandle; }

long RegQueryValue(const RegKey& key, std::string_view name, uint32_t* type, void* data,
                   uint32_t* size) {
  if (data != nullptr && size == nullptr) return kErrorInvalidParameter;
  uint32_t stored_type = kRegNone;
  std::string stored;
  if (long rc = ReadValue(key, name, &stored_type, &stored); rc != kErrorSuccess) return rc;
  if (type != nullptr) *type = stored_type;
  if (size == nullptr) return kErrorSuccess;
  uint32_t room = *size;
  *size = static_cast<uint32_t>(stored.size());
  if (data == nullptr) return kErrorSuccess;
  if (room < stored.size()) return kErrorMoreData;
  if (!stored.empty()) std::memcpy(data, stored.data(), stored.size());
  return kErrorSuccess;
}

long RegQueryString(const RegKey& key, std::string_view name, std::string* out, size_t width) {
  uint32_t type = kRegNone;
  std::string stored;
  if (long rc = ReadValue(key, name, &type, &stored); rc != kErrorSuccess) return rc;
  if (type != kRegSz) return kErrorInvalidParameter;
  while (!stored.empty() && stored.back() == '\0') stored.pop_back();
  if (width > 0 && stored.size() > width - 1) stored.resize(width - 1);
  *out = std::move(stored);
  return kErrorSuccess;
}

long RegQueryDword(const RegKey& key, std::string_view name, uint32_t* out) {
  uint32_t type = kRegNone;
  std::string stored;
  if (long rc = ReadValue(key, name, &type, &stored); rc != kErrorSuccess) return rc;
  if (type != kRegDword || stored.size() != 4) return kErrorInvalidParameter;
  const auto* bytes = reinterpret_cast<const unsigned char*>(stored.data());
  *out = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
  return kErrorSuccess;
}

long RegQueryBytes(const RegKey& key, std::string_view name, uint32_t* type,
                   std::vector<uint8_t>* out) {
  uint32_t stored_type = kRegNone;
  std::string stored;
  if (long rc = ReadValue(key, name, &stored_type, &stored); rc != kErrorSuccess) return rc;
  if (type != nullptr) *type = stored_type;
  out->assign(stored.begin(), stored.end());
  return kErrorSuccess;
}

long RegSetValue(const RegKey& key, std::string_view name, uint32_t type, const void* data,
                 uint32_t size) {
  if (!key.valid()) return kErrorInvalidHandle;
  if (data == nullptr && size > 0) return kErrorInvalidParameter;
  return RegistryStore::Instance().Write([&](sqlite3* db) -> long {
    if (long rc = CheckKey(db, key.id()); rc != kErrorSuccess) return rc;
    // An update keeps the name as first written; only a new value takes this spelling.
    Stmt upsert(db,
                "INSERT INTO key_values(key_id, name, type, data) VALUES(?1, ?2, ?3, ?4) "
                "ON CONFLICT(key_id, name) DO UPDATE SET type = excluded.type, "
                "data = excluded.data");
    upsert.Bind(1, key.id()).Bind(2, name).Bind(3, int64_t{type}).BindBlob(4, data, size);
    return upsert.Step() == SQLITE_DONE ? kErrorSuccess : kErrorAccessDenied;
  });
}

long RegSetString(const RegKey& key, std::string_view name, std::string_view text) {
  std::string stored(text);
  stored.push_back('\0');
  return RegSetValue(key, name, kRegSz, stored.data(), static_cast<uint32_t>(stored.size()));
}

long RegSetDword(const RegKey& key, std::string_view name, uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return RegSetValue(key, name, kRegDword, bytes, sizeof bytes);
}

long RegDeleteValue(const RegKey& key, std::string_view name) {
  if (!key.valid()) return kErrorInvalidHandle;
  return RegistryStore::Instance().Write([&](sqlite3* db) -> long {
    if (long rc = CheckKey(db, key.id()); rc != kErrorSuccess) return rc;
    Stmt erase(db, "DELETE FROM key_values WHERE key_id = ?1 AND name = ?2");
    if (erase.Bind(1, key.id()).Bind(2, name).Step() != SQLITE_DONE) return kErrorAccessDenied;
    return sqlite3_changes(db) > 0 ? kErrorSuccess : kErrorFileNotFound;
  });
}

long RegDeleteKey(const RegKey& parent, std::string_view subkey) {
  if (!parent.valid()) return kErrorInvalidHandle;
  return RegistryStore::Instance().Write([&](sqlite3* db) -> long {
    int64_t id = 0;
    bool created = false;
    if (long rc = Resolve(db, parent.id(), subkey, false, &id, &created); rc != kErrorSuccess) {
      return rc;
    }
    if (id >= kRootIdFirst && id <= kRootIdLast) return kErrorAccessDenied;
    return DeleteSubtree(db, id);
  });
}

long RegEnumKey(const RegKey& key, uint32_t index, std::string* name) {
  if (!key.valid()) return kErrorInvalidHandle;
  return RegistryStore::Instance().Read([&](sqlite3* db) -> long {
    if (long rc = CheckKey(db, key.id()); rc != kErrorSuccess) return rc;
    Stmt find(db, "SELECT name FROM keys WHERE parent = ?1 ORDER BY name LIMIT 1 OFFSET ?2");
    int rc = find.Bind(1, key.id()).Bind(2, int64_t{index}).Step();
    if (rc == SQLITE_DONE) return kErrorNoMoreItems;
    if (rc != SQLITE_ROW) return kErrorAccessDenied;
    *name = find.Text(0);
    return kErrorSuccess;
  });
}

long RegEnumValue(const RegKey& key, uint32_t index, std::string* name, uint32_t* type,
                  std::vector<uint8_t>* data) {
  if (!key.valid()) return kErrorInvalidHandle;
  return RegistryStore::Instance().Read([&](sqlite3* db) -> long {
    if (long rc = CheckKey(db, key.id()); rc != kErrorSuccess) return rc;
    Stmt find(db,
              "SELECT name, type, data FROM key_values WHERE key_id = ?1 "
              "ORDER BY name LIMIT 1 OFFSET ?2");
    int rc = find.Bind(1, key.id()).Bind(2, int64_t{index}).Step();
    if (rc == SQLITE_DONE) return kErrorNoMoreItems;
    if (rc != SQLITE_ROW) return kErrorAccessDenied;
    *name = find.Text(0);
    if (type != nullptr) *type = static_cast<uint32_t>(find.Int(1));
    if (data != nullptr) data->assign(find.Blob(2).begin(), find.Blob(2).end());
    return kErrorSuccess;
  });
}

long RegQueryInfoKey(const RegKey& key, uint32_t* subkeys, uint32_t* values) {
  if (!key.valid()) return kErrorInvalidHandle;
  return RegistryStore::Instance().Read([&](sqlite3* db) -> long {
    if (long rc = CheckKey(db, key.id()); rc != kErrorSuccess) return rc;
    Stmt count(db,
               "SELECT (SELECT count(*) FROM keys WHERE parent = ?1), "
               "(SELECT count(*) FROM key_values WHERE key_id = ?1)");
    if (count.Bind(1, key.id()).Step() != SQLITE_ROW) return kErrorAccessDenied;
    if (subkeys != nullptr) *subkeys = static_cast<uint32_t>(count.Int(0));
    if (values != nullptr) *values = static_cast<uint32_t>(count.Int(1));
    return kErrorSuccess;
  });
}

long RegKeyPath(const RegKey& key, Hive* hive, std::string* path) {
  if (!key.valid()) return kErrorInvalidHandle;
  return RegistryStore::Instance().Read([&](sqlite3* db) -> long {
    std::string built;
    // Parents always have smaller depth, so the walk ends at a root; the bound guards a
    // damaged file whose parent links form a cycle.
    int64_t id = key.id();
    for (int depth = 0; depth < 4096; ++depth) {
      if (id >= kRootIdFirst && id <= kRootIdLast) {
        *hive = kHives[id - kRootIdFirst].hive;
        *path = std::move(built);
        return kErrorSuccess;
      }
      Stmt find(db, "SELECT parent, name FROM keys WHERE id = ?1");
      int rc = find.Bind(1, id).Step();
      if (rc == SQLITE_DONE) return kErrorKeyDeleted;
      if (rc != SQLITE_ROW) return kErrorAccessDenied;
      built = built.empty() ? find.Text(1) : find.Text(1) + "\\" + built;
      id = find.Int(0);
    }
    return kErrorBadKey;
  });
}

}  // namespace platform
