#include "updater/install_journal.h"
#include <cstdio>
#include <cstring>
#include "package/package_format.h"

static const char kJournalHeader[] = "Orvanta update journal 1\r\n";

// FNV-1a: enough to tell a whole line from a torn or altered one.
static uint32_t Checksum(const std::string& text) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
    return hash;
}

static std::string LineBody(const JournalEntry& entry) {
    return std::string(1, entry.kind) + "\t" + std::to_string(entry.size) + "\t" + entry.name;
}

std::string EncodeJournalLine(const JournalEntry& entry) {
    char sum[16];
    std::string body = LineBody(entry);
    snprintf(sum, sizeof sum, "\t%08x\r\n", Checksum(body));
    return body + sum;
}

static int IsTrustedName(const std::string& name, char kind) {
    if (kind == kJournalCommitted) return name.empty();
    return name.size() + kSuffixLength < kMaxPath && IsSafeRelativeName(name.c_str()) &&
           !IsReservedInstallName(name.c_str());
}

// One line without its CR LF: 0 unless it is whole and checks out.
static int ParseJournalLine(const std::string& line, JournalEntry* entry) {
    size_t tab1 = line.find('\t'), tab3 = line.rfind('\t');
    if (tab1 != 1 || tab3 == std::string::npos || line.size() != tab3 + 9) return 0;
    size_t tab2 = line.find('\t', 2);
    if (tab2 == std::string::npos || tab2 >= tab3) return 0;
    char sum[9];
    snprintf(sum, sizeof sum, "%08x", Checksum(line.substr(0, tab3)));
    if (line.compare(tab3 + 1, 8, sum) != 0) return 0;
    entry->kind = line[0];
    entry->size = static_cast<uint32_t>(strtoul(line.c_str() + 2, nullptr, 10));
    entry->name = line.substr(tab2 + 1, tab3 - tab2 - 1);
    return strchr("NOPC", entry->kind) && IsTrustedName(entry->name, entry->kind);
}

std::vector<JournalEntry> ParseJournal(const unsigned char* bytes, size_t size) {
    std::vector<JournalEntry> entries;
    std::string text(reinterpret_cast<const char*>(bytes), size);
    size_t at = strlen(kJournalHeader);
    if (text.compare(0, at, kJournalHeader) != 0) return entries;
    for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        JournalEntry entry;
        if (ParseJournalLine(text.substr(at, end - at), &entry)) entries.push_back(entry);
    }
    return entries;
}

static int WriteText(FileHandle file, const std::string& text) {
    uint32_t size = static_cast<uint32_t>(text.size());
    return WriteBlock(file, text.data(), size) == size;
}

int StartJournal(Journal* journal) {
    char path[kMaxPath];
    journal->entries.clear();
    journal->torn = 0;
    journal->file = MakeInstallPath(kJournalFileName, path) ? CreateForWrite(path) : 0;
    return journal->file && WriteText(journal->file, kJournalHeader);
}

int AddJournalEntry(Journal* journal, char kind, const char* name, uint32_t size) {
    JournalEntry entry = {kind, size, name};
    std::string line = EncodeJournalLine(entry);
    journal->torn = !WriteText(journal->file, journal->torn ? "\r\n" + line : line);
    if (journal->torn) return 0;
    journal->entries.push_back(entry);
    return 1;
}

int FlushJournal(Journal* journal) { return FlushFileData(journal->file); }

int EndJournal(Journal* journal) {
    char path[kMaxPath];
    LeaveJournal(journal);
    journal->entries.clear();
    return MakeInstallPath(kJournalFileName, path) && (RemoveFile(path) || !PathExists(path));
}

void LeaveJournal(Journal* journal) {
    if (journal->file) CloseFile(journal->file);
    journal->file = 0;
}

int ReadJournal(std::vector<JournalEntry>* entries) {
    char path[kMaxPath];
    entries->clear();
    if (!MakeInstallPath(kJournalFileName, path)) return 0;
    FileHandle file = OpenForRead(path);
    if (!file) return 0;
    uint64_t size = GetFileSize64(file);
    std::string bytes(size < (1u << 26) ? static_cast<size_t>(size) : 0, '\0');
    uint32_t n = bytes.empty() ? 0 : ReadBlock(file, &bytes[0], static_cast<uint32_t>(bytes.size()));
    CloseFile(file);
    *entries = ParseJournal(reinterpret_cast<const unsigned char*>(bytes.data()), n);
    return 1;
}
