// The command line of orvanta-pack: a subcommand (build when none is
// named), its operands, and options anywhere before "--".
#include <cstdio>
#include <cstdlib>
#include "packer/packer.h"
#include "platform/code_pages.h"

namespace {

enum OptionFlag {
    kOptionStub = 1, kOptionQuiet = 2, kOptionJson = 4, kOptionCompress = 8, kOptionFrom = 16
};

struct Command {
    const char* name;
    size_t leastOperands;
    size_t mostOperands;
    unsigned options;  // beyond --code-page, which all take
    int (*run)(const PackerArguments&);
};

const Command kCommands[] = {
    {"build", 0, 1, kOptionStub | kOptionQuiet | kOptionCompress | kOptionFrom, RunBuildCommand},
    {"list", 1, 1, kOptionJson, RunListCommand},
    {"extract", 2, 2, kOptionFrom, RunExtractCommand},
    {"verify", 2, 2, kOptionFrom, RunVerifyCommand},
};

struct CommandLine {
    PackerArguments arguments;
    std::vector<std::string> words;  // the command's name, when given, and operands
    unsigned given = 0;
    int help = 0;
    int version = 0;
};

int Complain(const std::string& what) {
    fprintf(stderr, "orvanta-pack: %s\nTry 'orvanta-pack --help'.\n", what.c_str());
    return 0;
}

int ReadCodePage(const std::string& text, uint32_t* codePage) {
    char* end = nullptr;
    unsigned long number = strtoul(text.c_str(), &end, 10);
    int digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || number == 0 || number > 65535 || !IsKnownCodePage(number))
        return Complain("unknown code page: " + text);
    *codePage = static_cast<uint32_t>(number);
    return 1;
}

// A switch without a value; 0 when word is none.
int ReadSwitch(const std::string& word, CommandLine* line) {
    if (word == "-h" || word == "--help") line->help = 1;
    else if (word == "--version") line->version = 1;
    else if (word == "-q" || word == "--quiet") line->given |= kOptionQuiet;
    else if (word == "--json") line->given |= kOptionJson;
    else if (word == "--compress") line->given |= kOptionCompress;
    else return 0;
    line->arguments.quiet |= word == "-q" || word == "--quiet";
    line->arguments.json |= word == "--json";
    line->arguments.compress |= word == "--compress";
    return 1;
}

// The option at argv[*at], and its value (moving past it). 0 after a message.
int ReadOption(int argc, char** argv, int* at, CommandLine* line) {
    std::string word = argv[*at], value;
    size_t equals = word.find('=');
    int inline_value = word.compare(0, 2, "--") == 0 && equals != std::string::npos;
    if (inline_value) {
        value = word.substr(equals + 1);
        word.resize(equals);
    }
    if (word != "--stub" && word != "--code-page" && word != "--from")
        return !inline_value && ReadSwitch(word, line) ? 1 : Complain("unknown option: " + word);
    if (!inline_value && *at + 1 >= argc) return Complain(word + " needs a value");
    if (!inline_value) value = argv[++*at];
    if (word == "--code-page") return ReadCodePage(value, &line->arguments.codePage);
    if (word == "--from") {
        line->arguments.from = value;
        line->given |= kOptionFrom;
        return 1;
    }
    line->arguments.stub = value;
    line->given |= kOptionStub;
    return 1;
}

int ReadCommandLine(int argc, char** argv, CommandLine* line) {
    int options = 1;
    for (int at = 1; at < argc; at++) {
        std::string word = argv[at];
        if (options && word == "--") options = 0;
        else if (options && word.size() > 1 && word[0] == '-') {
            if (!ReadOption(argc, argv, &at, line)) return 0;
        } else line->words.push_back(word);
    }
    return 1;
}

// The command the first word names, taking it off the words; build when
// the first word names none.
const Command& TakeCommand(CommandLine* line) {
    for (const Command& command : kCommands)
        if (!line->words.empty() && line->words[0] == command.name) {
            line->words.erase(line->words.begin());
            return command;
        }
    return kCommands[0];
}

int CheckUsage(const Command& command, const CommandLine& line) {
    static const char* const kOptionNames[] = {"--stub", "--quiet", "--json", "--compress",
                                               "--from"};
    std::string name = command.name;
    for (unsigned i = 0; i < 5; i++)
        if (line.given & ~command.options & (1u << i))
            return Complain(name + " doesn't take " + kOptionNames[i]);
    if (line.words.size() < command.leastOperands) return Complain(name + ": missing operand");
    if (line.words.size() > command.mostOperands)
        return Complain(name + ": extra operand: " + line.words[command.mostOperands]);
    return 1;
}

}  // namespace

int RunPacker(int argc, char** argv) {
    CommandLine line;
    if (!ReadCommandLine(argc, argv, &line)) return kPackUsage;
    size_t words = line.words.size();
    const Command& command = TakeCommand(&line);
    int named = line.words.size() < words;
    if (line.help) {
        fputs(FindHelpText(named ? command.name : ""), stdout);
        return kPackOk;
    }
    if (line.version) {
        printf("orvanta-pack %s\n", ORVANTA_VERSION);
        return kPackOk;
    }
    if (!CheckUsage(command, line)) return kPackUsage;
    line.arguments.command = command.name;
    line.arguments.operands = line.words;
    int status = command.run(line.arguments);
    ClosePackage();
    return status;
}
