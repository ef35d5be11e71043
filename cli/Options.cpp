#include "cli/Options.h"

#include "cli/Cli.h"

namespace cli {

std::string Args::Value(const std::string& option, const std::string& fallback) const {
    const auto it = values_.find(option);
    return it == values_.end() ? fallback : it->second.back();
}

const std::vector<OptionRow>& VolumeRows() {
    static const std::vector<OptionRow> kRows = {
        {"--disk", "N", "the disk to read (default 0)"},
        {"--advanced", nullptr,
         "find volumes by scanning the whole disk for directory tables instead of reading the partition and "
         "volume tables"},
        {"--volume", "I", "the volume, by its index in the 'volumes' output", true},
        {"--fat", "1|2", "the FAT copy to use when the two copies differ (otherwise asked on a terminal, else FAT1 "
                         "with a note)"},
        {"--log", "FILE",
         "start from a recovery log written by 'log save' instead of searching and mounting (the disk must still "
         "be attached; --volume is then optional and must name the stored volume)"},
        {"--name-space", "dos|long|mac|nfs|nt",
         "the name space whose names are shown and saved (default: the LONG, NT, MAC, NFS or DOS name, the first "
         "an entry has)"},
    };
    return kRows;
}

std::vector<OptionRow> VolumeRowsNamed(const std::vector<std::string>& names) {
    std::vector<OptionRow> rows;
    for (const std::string& name : names)
        for (const OptionRow& row : VolumeRows())
            if (name == row.name) rows.push_back(row);
    return rows;
}

bool ParseArgs(const std::string& command, const std::vector<OptionRow>& rows, std::size_t maxOperands,
               bool emptyOperand, const std::vector<std::string>& args, Args& out) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const OptionRow* row = nullptr;
        for (const OptionRow& r : rows)
            if (arg == r.name) row = &r;
        if (row && !row->value) {
            out.Add(arg, "");
        } else if (row) {
            if (i + 1 >= args.size()) {
                Error(command + ": " + arg + " needs a value");
                return false;
            }
            out.Add(arg, args[++i]);
        } else if ((arg.empty() ? emptyOperand : arg[0] != '-') && out.Operands().size() < maxOperands) {
            out.AddOperand(arg);
        } else {
            Error(command + ": unknown argument '" + arg + "' (see tarvine-cli --help)");
            return false;
        }
    }
    return true;
}

bool ParseNumber(const std::string& command, const std::string& option, const std::string& text,
                 std::uint64_t& out) {
    out = 0;
    bool ok = !text.empty() && text.size() <= 18;
    for (char c : text) {
        if (c < '0' || c > '9') ok = false;
        else out = out * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (!ok) Error(command + ": " + option + " needs a number, not '" + text + "'");
    return ok;
}

std::string UsageOf(const std::vector<OptionRow>& rows) {
    std::string usage;
    for (const OptionRow& row : rows) {
        std::string item = row.name;
        if (row.value) item += std::string(" ") + row.value;
        if (!usage.empty()) usage += ' ';
        usage += row.required ? item : "[" + item + "]";
    }
    return usage;
}

}  // namespace cli
