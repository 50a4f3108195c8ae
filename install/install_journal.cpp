#include "install/install_journal.h"
#include <cstdio>
#include <cstring>
#include "package/package_format.h"
#include "package/record_names.h"
#include "platform/protected_store.h"
#include "base/hmac_sha256.h"
#include "install/game_folders.h"

static const char kJournalHeader[] = "Orvanta update journal 2\r\n";
const size_t kMacDigits = 2 * kSha256Size;

static std::string ToHex(const unsigned char* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; i++) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

static std::string LineBody(uint32_t number, const JournalEntry& entry) {
    char fields[80];
    snprintf(fields, sizeof fields, "%08x\t%c\t%016llx\t%016llx\t%016llx\t", number, entry.kind,
             static_cast<unsigned long long>(entry.identity.size),
             static_cast<unsigned long long>(entry.identity.volume),
             static_cast<unsigned long long>(entry.identity.file));
    return fields + entry.name;
}

// The MAC binds the line to this install (its id) and this game folder: a
// line copied from another install or folder doesn't check.
static std::string LineMac(const JournalKey& key, const std::string& body) {
    std::string message = ToHex(key.id, sizeof key.id) + "\n" + key.folder + "\n" + body;
    unsigned char mac[kSha256Size];
    ComputeHmacSha256(key.secret, sizeof key.secret, message.data(), message.size(), mac);
    return ToHex(mac, sizeof mac);
}

std::string EncodeJournalLine(const JournalKey& key, uint32_t number, const JournalEntry& entry) {
    std::string body = LineBody(number, entry);
    return body + "\t" + LineMac(key, body) + "\r\n";
}

static int IsTrustedName(const std::string& name, char kind) {
    if (!strchr("ANOP", kind)) return name.empty();
    // The rule for record names refuses the updater's own names, but the
    // install writes the stamp like a record.
    return name.size() + kSuffixLength < kMaxPath &&
           (name == kStampFileName || IsSafeRelativeName(name.c_str()));
}

// One line without its CR LF: its number, or 0 unless it is whole and its
// MAC checks.
static uint32_t ParseJournalLine(const JournalKey& key, const std::string& line,
                                 JournalEntry* entry) {
    const size_t kFields = 8 + 1 + 1 + 1 + 3 * 17;  // number, kind, three numbers, TABs
    if (line.size() < kFields + 1 + kMacDigits || line[line.size() - kMacDigits - 1] != '\t')
        return 0;
    std::string body = line.substr(0, line.size() - kMacDigits - 1);
    if (line.compare(body.size() + 1, kMacDigits, LineMac(key, body)) != 0) return 0;
    unsigned long long size, volume, file;
    unsigned number;
    char kind;
    if (sscanf(body.c_str(), "%8x\t%c\t%16llx\t%16llx\t%16llx\t", &number, &kind, &size, &volume,
               &file) != 5)
        return 0;
    *entry = JournalEntry{kind, {volume, file, size}, body.substr(kFields)};
    return strchr("JANOPCR", kind) && IsTrustedName(entry->name, kind) ? number : 0;
}

std::vector<JournalEntry> ParseJournal(const JournalKey& key, const unsigned char* bytes,
                                       size_t size) {
    std::vector<JournalEntry> entries;
    std::string text(reinterpret_cast<const char*>(bytes), size);
    size_t at = strlen(kJournalHeader);
    if (text.compare(0, at, kJournalHeader) != 0) return entries;
    uint32_t last = 0;
    for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        JournalEntry entry;
        // Numbers only go up: lines can't be reordered or repeated.
        uint32_t number = ParseJournalLine(key, text.substr(at, end - at), &entry);
        if (number > last) {
            entries.push_back(entry);
            last = number;
        }
    }
    return entries;
}

std::string TagFolder(const std::string& folder) {
    unsigned char digest[kSha256Size];
    ComputeSha256(folder.data(), folder.size(), digest);
    return ToHex(digest, 8);
}

// The marker's name in the store: one per game folder.
static std::string MarkerName(const std::string& folder) { return "install-" + TagFolder(folder); }

static int WriteText(FileHandle file, const std::string& text) {
    uint32_t size = static_cast<uint32_t>(text.size());
    return WriteBlock(file, text.data(), size) == size;
}

int StartJournal(Journal* journal, const GameFolders* folders, ExtractFailure* failure) {
    *journal = Journal{0, {}, {}, 0, {}, 0};
    std::string shown = folders->directory + kJournalFileName;
    const char* path = shown.c_str();
    JournalKey& key = journal->key;
    key.folder = folders->rootPath;
    if (!GetRandomBytes(key.id, sizeof key.id) || !GetRandomBytes(key.secret, sizeof key.secret))
        return FailFile(failure, path, "The system gave no random numbers for its journal");
    // The marker goes first: every file made after it is covered.
    std::string record(reinterpret_cast<char*>(key.id), sizeof key.id);
    record.append(reinterpret_cast<char*>(key.secret), sizeof key.secret);
    record += key.folder;
    if (!WriteProtectedRecord(MarkerName(key.folder).c_str(), record.data(),
                              static_cast<uint32_t>(record.size())))
        return FailFile(failure, path, "The update could not note its start in the registry");
    journal->file = CreateNewFileIn(folders->root, kJournalFileName);
    if (!journal->file || !GetOpenFileIdentity(journal->file, &journal->self))
        return FailFileCall(failure, path);
    if (!WriteText(journal->file, kJournalHeader) ||
        !AddJournalEntry(journal, kJournalItself, "", journal->self))
        return FailFileCall(failure, path);
    return 1;
}

int AddJournalEntry(Journal* journal, char kind, const char* name, const FileIdentity& identity) {
    JournalEntry entry = {kind, identity, name};
    std::string line = EncodeJournalLine(journal->key, ++journal->lines, entry);
    journal->torn = !WriteText(journal->file, journal->torn ? "\r\n" + line : line);
    if (journal->torn) return 0;
    journal->entries.push_back(entry);
    return 1;
}

int FlushJournal(Journal* journal) { return FlushFileData(journal->file); }

int IsSameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.volume == b.volume && a.file == b.file;
}

int EndJournal(Journal* journal, const GameFolders* folders) {
    LeaveJournal(journal);
    journal->entries.clear();
    ExpectedFile self = {journal->self, 0};
    int gone = RemoveFileIn(folders->root, kJournalFileName, &self) != kEntryFailed;
    return gone && RemoveProtectedRecord(MarkerName(journal->key.folder).c_str());
}

void LeaveJournal(Journal* journal) {
    if (journal->file) CloseFile(journal->file);
    journal->file = 0;
}

// The marker of an install in this folder, if one is in progress.
static int ReadMarker(JournalKey* key, const std::string& folder) {
    key->folder = folder;
    char record[sizeof key->id + sizeof key->secret + 2 * kMaxPath];
    uint32_t n = ReadProtectedRecord(MarkerName(key->folder).c_str(), record, sizeof record);
    const uint32_t kSecrets = sizeof key->id + sizeof key->secret;
    if (n < kSecrets || key->folder.compare(0, std::string::npos, record + kSecrets, n - kSecrets))
        return 0;
    memcpy(key->id, record, sizeof key->id);
    memcpy(key->secret, record + sizeof key->id, sizeof key->secret);
    return 1;
}

int ReadJournal(Journal* journal, const GameFolders* folders) {
    *journal = Journal{0, {}, {}, 0, {}, 0};
    if (!ReadMarker(&journal->key, folders->rootPath)) return 0;
    FileHandle file = OpenFileIn(folders->root, kJournalFileName);
    if (!file) return 1;  // the marker alone: nothing was made yet
    uint64_t size = GetFileSize64(file);
    std::string bytes(size < (1u << 26) ? static_cast<size_t>(size) : 0, '\0');
    uint32_t n = bytes.empty() ? 0 : ReadBlock(file, &bytes[0], static_cast<uint32_t>(bytes.size()));
    CloseFile(file);
    journal->entries =
        ParseJournal(journal->key, reinterpret_cast<const unsigned char*>(bytes.data()), n);
    for (const JournalEntry& e : journal->entries)
        if (e.kind == kJournalItself) journal->self = e.identity;
    return 1;
}
