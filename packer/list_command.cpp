// orvanta-pack list: the package's header, texts and records, as text or
// as one JSON document; problems are flagged on their line.
#include <cstdio>
#include "packer/packer.h"
#include "platform/code_pages.h"

static std::string Flag(const std::string& problem) {
    return problem.empty() ? "" : "  ! " + problem;
}

static void PrintRecordLine(const ListedRecord& entry) {
    int valid = entry.record && entry.record->valid;
    char resource[kRecordNameSize];
    FormatRecordName(resource, entry.index);
    std::string size = valid ? std::to_string(entry.record->view.fileSize) : "-";
    std::string stored = valid ? std::to_string(entry.record->view.contentSize) : "-";
    if (valid && entry.record->view.compressed) stored += " z";
    if (valid && entry.record->view.delta) stored += " d";  // applied to the installed file
    // A repeated file stores nothing: it names the record it repeats.
    if (valid && entry.record->view.repeated) stored = "= " + std::to_string(entry.record->view.sameAs);
    std::string name = valid ? ToPlatformText(entry.name) : resource;
    printf("%6u %12s %14s  %s%s\n", entry.index, size.c_str(), stored.c_str(), name.c_str(),
           Flag(entry.problem).c_str());
}

static void PrintListing(const PackageListing& listing) {
    char built[40];
    FormatBuildTime(g_PackageHeader.buildTime, built, sizeof built);
    printf("files: %u\n", g_PackageHeader.fileCount);
    printf("total bytes: %u%s\n", g_PackageHeader.totalBytes, Flag(listing.totalProblem).c_str());
    printf("stored bytes: %llu, %s of the files' bytes\n",
           static_cast<unsigned long long>(listing.storedBytes),
           FormatRatio(listing.storedBytes, listing.fileBytes).c_str());
    printf("built: %s\n", built);
    printf("title: %s\n", ToPlatformText(listing.title).c_str());
    printf("readme: %s\n", ToPlatformText(listing.readme).c_str());
    if (!listing.package.unchanged.empty())
        printf("unchanged: %u files the patch assumes as they are\n",
               static_cast<unsigned>(listing.package.unchanged.size()));
    for (const ListedRecord& entry : listing.records) PrintRecordLine(entry);
}

// A JSON string, or null when there is none.
static void AppendTextOrNull(std::string* out, const std::string& utf8, int present) {
    if (present) AppendJsonString(out, utf8);
    else out->append("null");
}

static void AppendRecordJson(std::string* out, const ListedRecord& entry) {
    int valid = entry.record && entry.record->valid;
    char resource[kRecordNameSize];
    FormatRecordName(resource, entry.index);
    out->append("    {\"index\": " + std::to_string(entry.index) + ", \"resource\": \"" + resource +
                "\", \"size\": ");
    out->append(valid ? std::to_string(entry.record->view.fileSize) : "null");
    int repeated = valid && entry.record->view.repeated;
    out->append(", \"storedSize\": ");
    out->append(!valid ? "null" : repeated ? "0" : std::to_string(entry.record->view.contentSize));
    out->append(", \"compressed\": ");
    out->append(!valid ? "null" : entry.record->view.compressed ? "true" : "false");
    out->append(", \"delta\": ");
    out->append(!valid ? "null" : entry.record->view.delta ? "true" : "false");
    out->append(", \"sameAs\": ");
    out->append(repeated ? std::to_string(entry.record->view.sameAs) : "null");
    out->append(", \"name\": ");
    AppendTextOrNull(out, entry.name, valid);
    out->append(", \"problem\": ");
    AppendTextOrNull(out, entry.problem, !entry.problem.empty());
    out->append("}");
}

static std::string MakeListingJson(const std::string& path, uint32_t codePage,
                                   const PackageListing& listing) {
    char built[40];
    FormatBuildTime(g_PackageHeader.buildTime, built, sizeof built);
    std::string utf8Path, out = "{\n  \"package\": ";
    DecodeToUtf8(path, kPlatformCodePage, &utf8Path);
    AppendJsonString(&out, utf8Path);
    out += ",\n  \"codePage\": " + std::to_string(codePage);
    out += ",\n  \"fileCount\": " + std::to_string(g_PackageHeader.fileCount);
    out += ",\n  \"totalBytes\": " + std::to_string(g_PackageHeader.totalBytes);
    out += ",\n  \"totalProblem\": ";
    AppendTextOrNull(&out, listing.totalProblem, !listing.totalProblem.empty());
    out += ",\n  \"storedBytes\": " + std::to_string(listing.storedBytes);
    char ratio[40];  // stored bytes for each byte of the files
    snprintf(ratio, sizeof ratio, "%.4f",
             listing.fileBytes ? static_cast<double>(listing.storedBytes) / listing.fileBytes : 1.0);
    out += ",\n  \"ratio\": " + std::string(ratio);
    out += ",\n  \"buildTime\": \"" + std::string(built) + "\"";
    out += ",\n  \"buildFileTime\": \"" + std::to_string(g_PackageHeader.buildTime) + "\"";
    out += ",\n  \"title\": ";
    AppendTextOrNull(&out, listing.title, !listing.title.empty());
    out += ",\n  \"readme\": ";
    AppendTextOrNull(&out, listing.readme, !listing.readme.empty());
    out += ",\n  \"records\": [";
    for (size_t i = 0; i < listing.records.size(); i++) {
        out += i ? ",\n" : "\n";
        AppendRecordJson(&out, listing.records[i]);
    }
    out += "\n  ],\n  \"problems\": " + std::to_string(listing.problems) + "\n}\n";
    return out;
}

int RunListCommand(const PackerArguments& arguments) {
    const std::string& path = arguments.operands[0];
    PackageListing listing;
    int status = ReadPackageListing(path.c_str(), arguments.codePage, &listing);
    if (status != kPackOk) return status;
    if (arguments.json) fputs(MakeListingJson(path, arguments.codePage, listing).c_str(), stdout);
    else PrintListing(listing);
    return listing.problems ? kPackDifferent : kPackOk;
}
