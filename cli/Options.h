// The command line's option table: every option of every command is one row
// (its spelling, its value's placeholder, one line of help). The parser, the
// usage lines and --help are made from the rows, so an option is added by
// adding its row and reading it in the command's body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cli {

struct OptionRow {
    const char* name;         // "--volume", "-R"
    const char* value;        // the value's placeholder ("I"); nullptr for a flag
    const char* help;         // one line for --help
    bool required = false;    // shown without brackets in the usage line
};

// What the table took from a command's arguments.
class Args {
public:
    bool Has(const std::string& option) const { return values_.count(option) != 0; }
    // The value given last (a later one wins), or `fallback` when absent.
    std::string Value(const std::string& option, const std::string& fallback = "") const;
    const std::vector<std::string>& Operands() const { return operands_; }

    void Add(const std::string& option, const std::string& value) { values_[option].push_back(value); }
    void AddOperand(const std::string& operand) { operands_.push_back(operand); }

private:
    std::map<std::string, std::vector<std::string>> values_;
    std::vector<std::string> operands_;
};

// The options of the commands that open a volume: --disk, --advanced,
// --volume, --fat, --log (the rows a command takes are chosen by name).
const std::vector<OptionRow>& VolumeRows();
std::vector<OptionRow> VolumeRowsNamed(const std::vector<std::string>& names);

// Takes `args` by `rows`: options anywhere, operands (words not starting
// with '-'; empty words too with `emptyOperand`) up to `maxOperands`. False after saying
// "<command>: <option> needs a value" or "<command>: unknown argument ...".
bool ParseArgs(const std::string& command, const std::vector<OptionRow>& rows, std::size_t maxOperands,
               bool emptyOperand, const std::vector<std::string>& args, Args& out);

// A decimal number; false after "<command>: <option> needs a number, not '<text>'".
bool ParseNumber(const std::string& command, const std::string& option, const std::string& text,
                 std::uint64_t& out);

// "[--disk N] [--advanced] --volume I ..." for a usage line.
std::string UsageOf(const std::vector<OptionRow>& rows);

}  // namespace cli
