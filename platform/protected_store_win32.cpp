// The protected store on Windows: binary values of one key under
// HKEY_LOCAL_MACHINE, in the 32-bit view like the game's own settings, owned
// by Administrators and open to Administrators and SYSTEM only; locks are
// named mutexes in the global namespace, which the system closes with the
// process, so a killed updater never leaves one held.
#include <windows.h>
#include <ntsecapi.h>
#include <sddl.h>
#include <cstdio>
#include "platform/protected_store.h"

static const char kStoreKey[] = "SOFTWARE\\Mervolk\\Orvanta\\Update in progress";
static const char kStoreAccess[] = "O:BAD:P(A;;KA;;;BA)(A;;KA;;;SY)";
static const REGSAM kView = KEY_WOW64_32KEY;

int GetRandomBytes(void* buffer, uint32_t size) { return RtlGenRandom(buffer, size) != 0; }

static int IsTrustedSid(PSID sid) {
    return sid && (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
                   IsWellKnownSid(sid, WinLocalSystemSid));
}

static const SECURITY_INFORMATION kKeyParts =
    OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// A key's owner and access list, as a self-relative descriptor.
struct KeySecurity {
    alignas(8) unsigned char bytes[1024];
};

static int ReadKeySecurity(HKEY key, KeySecurity* security) {
    DWORD size = sizeof security->bytes;
    return RegGetKeySecurity(key, kKeyParts, security->bytes, &size) == ERROR_SUCCESS;
}

// The key's owner is Administrators or SYSTEM and its access list allows
// nobody else: a key a standard user could have made or opened up is no
// record of ours.
static int IsStoreProtected(HKEY key) {
    KeySecurity buffer;
    if (!ReadKeySecurity(key, &buffer)) return 0;
    PSECURITY_DESCRIPTOR sd = buffer.bytes;
    PSID owner = nullptr;
    PACL acl = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    if (!GetSecurityDescriptorOwner(sd, &owner, &defaulted) || !IsTrustedSid(owner)) return 0;
    if (!GetSecurityDescriptorDacl(sd, &present, &acl, &defaulted) || !present || !acl) return 0;
    for (DWORD i = 0; i < acl->AceCount; i++) {
        ACE_HEADER* ace = nullptr;
        if (!GetAce(acl, i, reinterpret_cast<void**>(&ace))) return 0;
        if (ace->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE) return 0;
        if (!IsTrustedSid(&reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart)) return 0;
    }
    return 1;
}

// The store's key with our descriptor. A key that was there before is
// judged as it stands, before anything of ours touches it: one that isn't
// for Administrators and SYSTEM only (made by someone else, who may still
// hold it open, or one whose descriptor Wine didn't keep) is deleted and
// made anew, a key no one else has a handle to.
static HKEY CreateStore(PSECURITY_DESCRIPTOR sd) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd, FALSE};
    for (int attempt = 0; attempt < 2; attempt++) {
        HKEY key = nullptr;
        DWORD disposition = 0;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kStoreKey, 0, nullptr, 0,
                            KEY_READ | KEY_WRITE | WRITE_DAC | WRITE_OWNER | kView, &attributes,
                            &key, &disposition) != ERROR_SUCCESS)
            return nullptr;
        // Set again on a key made now: Wine ignores the one given at creation.
        if (disposition == REG_CREATED_NEW_KEY) RegSetKeySecurity(key, kKeyParts, sd);
        if (disposition == REG_CREATED_NEW_KEY || IsStoreProtected(key)) return key;
        RegCloseKey(key);
        if (RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kStoreKey, kView, 0) != ERROR_SUCCESS)
            return nullptr;
    }
    return nullptr;
}

static HKEY OpenStore(int create) {
    HKEY key = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!create) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStoreKey, 0, KEY_READ | kView, &key) != ERROR_SUCCESS)
            return nullptr;
    } else if (ConvertStringSecurityDescriptorToSecurityDescriptorA(kStoreAccess, SDDL_REVISION_1,
                                                                    &sd, nullptr)) {
        key = CreateStore(sd);
        LocalFree(sd);
    }
    if (!key) return nullptr;
    if (IsStoreProtected(key)) return key;
    RegCloseKey(key);
    return nullptr;
}

int WriteProtectedRecord(const char* name, const void* bytes, uint32_t size) {
    HKEY key = OpenStore(1);
    if (!key) return 0;
    LONG result = RegSetValueExA(key, name, 0, REG_BINARY, static_cast<const BYTE*>(bytes), size);
    if (result == ERROR_SUCCESS) result = RegFlushKey(key);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

uint32_t ReadProtectedRecord(const char* name, void* buffer, uint32_t size) {
    HKEY key = OpenStore(0);
    if (!key) return 0;
    DWORD type = 0, bytes = size;
    LONG result = RegQueryValueExA(key, name, nullptr, &type, static_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_BINARY ? bytes : 0;
}

int RemoveProtectedRecord(const char* name) {
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStoreKey, 0, KEY_SET_VALUE | kView, &key);
    if (result == ERROR_FILE_NOT_FOUND) return 1;
    if (result != ERROR_SUCCESS) return 0;
    result = RegDeleteValueA(key, name);
    if (result == ERROR_SUCCESS) RegFlushKey(key);
    RegCloseKey(key);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

int DescribeProtectedStore(char* text, uint32_t size) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStoreKey, 0, KEY_READ | kView, &key) != ERROR_SUCCESS)
        return 0;
    KeySecurity buffer;
    int read = ReadKeySecurity(key, &buffer);
    RegCloseKey(key);
    char* sddl = nullptr;
    if (!read || !ConvertSecurityDescriptorToStringSecurityDescriptorA(
                     buffer.bytes, SDDL_REVISION_1, kKeyParts, &sddl, nullptr))
        return 0;
    int fits = snprintf(text, size, "%s", sddl) < static_cast<int>(size);
    LocalFree(sddl);
    return fits;
}

LockHandle TakeLock(const char* name) {
    char full[MAX_PATH];
    if (snprintf(full, sizeof full, "Global\\%s", name) >= static_cast<int>(sizeof full)) return 0;
    HANDLE mutex = CreateMutexA(nullptr, FALSE, full);
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return 0;
    }
    return reinterpret_cast<LockHandle>(mutex);
}

void ReleaseLock(LockHandle lock) {
    if (lock) CloseHandle(reinterpret_cast<HANDLE>(lock));
}
