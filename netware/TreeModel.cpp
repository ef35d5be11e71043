#include "netware/TreeModel.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "app/job/Controls.h"
#include "app/job/Tree.h"
#include "app/job/WizardState.h"

namespace nw {

namespace {

struct FileTypeRow {
    const char* extensions[6];
    FileType type;
};

// Tried in order; the first row with a matching ending wins.
const FileTypeRow kFileTypeTable[] = {
    {{".doc", ".DOC"}, {"Microsoft Word FILE", 4}},
    {{".ppt", ".PPT"}, {"Microsoft Power Point FILE", 5}},
    {{".xls", ".XLS"}, {"Microsoft Excel FILE", 3}},
    {{".pdf", ".PDF"}, {"Acrobat Reader FILE", 15}},
    {{".exe", ".EXE"}, {"Executable FILE", 7}},
    {{".ttf", ".TTF"}, {"Font FILE", 8}},
    {{".zip", ".ZIP", ".rar", ".RAR"}, {"Winzip FILE", 2}},
    {{".htm", ".HTM", ".HTML", ".html", ".asp", ".ASP"}, {"Internet FILE", 12}},
    {{".chm", ".CHM"}, {"Help FILE", 13}},
    {{".reg", ".REG"}, {"Registry FILE", 16}},
    {{".WAV", ".wav", ".AU", ".au"}, {"Sound FILE", 17}},
    {{".avi", ".AVI"}, {"Video FILE", 18}},
    {{".CPP", ".cpp", ".c", ".C"}, {"C++ Source FILE", 9}},
    {{".h", ".H"}, {"Header FILE", 11}},
    {{".txt", ".TXT"}, {"Text FILE", 20}},
};
constexpr FileType kPlainFile{"FILE", 19};

const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string TwoDigits(unsigned v) {
    std::string s = std::to_string(v);
    return s.size() == 1 ? "0" + s : s;
}

job::WizardState& W() { return job::Wizard(); }

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string JoinPath(const std::string& front, const std::string& name) {
    if (front.empty()) return name;
    if (front.back() == '\\') return front + name;
    return front + "\\" + name;
}

}  // namespace

// ---- file types ---------------------------------------------------------------

FileType FileTypeFor(const std::string& name) {
    for (const FileTypeRow& row : kFileTypeTable) {
        for (const char* ext : row.extensions) {
            if (!ext) break;
            const std::size_t n = std::strlen(ext);
            // A name shorter than the extension text is compared whole.
            const std::string tail = name.size() < n ? name : name.substr(name.size() - n);
            if (tail == ext) return row.type;
        }
    }
    return kPlainFile;
}

// ---- timestamps -----------------------------------------------------------------

unsigned ExpandYearField(unsigned yearField) { return yearField < 80 ? 1980 + yearField : 1920 + yearField; }

UnpackedTimestamp UnpackTimestamp(std::uint32_t timestamp) {
    const PackedDateTime t = DecodePackedDateTime(timestamp);
    UnpackedTimestamp u;
    u.second = t.seconds;
    u.minute = t.minutes;
    u.hour = t.hours;
    u.day = t.day;
    u.month = t.month;
    u.year = ExpandYearField(t.yearField);
    return u;
}

std::string FormatDateText(std::uint32_t timestamp) {
    const UnpackedTimestamp u = UnpackTimestamp(timestamp);
    const char* month = (u.month >= 1 && u.month <= 12) ? kMonthNames[u.month - 1] : "Err";
    return TwoDigits(u.day) + "-" + month + "-" + std::to_string(u.year);
}

std::string FormatTimeText(std::uint32_t timestamp) {
    const UnpackedTimestamp u = UnpackTimestamp(timestamp);
    return TwoDigits(u.hour) + ":" + TwoDigits(u.minute) + ":" + TwoDigits(u.second);
}

// ---- list rows --------------------------------------------------------------------

std::string TreeItemIdText(job::TreeItem item) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(item));
}

std::vector<std::string> FolderRow(const EntryRecord& folder) {
    return {folder.name, kFolderTypeText, "0", FormatDateText(folder.timestamp), FormatTimeText(folder.timestamp),
            TreeItemIdText(folder.treeItem)};
}

std::vector<std::string> FileRow(const EntryRecord& file) {
    return {file.name, FileTypeFor(file.name).typeText, std::to_string(file.size), FormatDateText(file.timestamp),
            FormatTimeText(file.timestamp), std::to_string(file.ordinal)};
}

// ---- list operations ------------------------------------------------------------------

void ClearEntryLists() {
    W().FolderList.Clear();
    W().FileList.Clear();
}

EntryRecord& AppendEntry(bool toFolders, EntryRecord record) {
    record.treeItem = nullptr;
    return (toFolders ? W().FolderList : W().FileList).Append(std::move(record));
}

EntryRecord& AppendLostFolder(std::uint32_t ordinal) {
    EntryRecord r;
    r.attributes = 0x10;
    r.name = kLostFolderName;
    r.parentNumber = kRootFolderNumber;
    r.ownNumber = kLostFolderNumber;
    r.ordinal = ordinal;
    return AppendEntry(true, std::move(r));
}

bool ResolveLostFolders(std::uint32_t folderCount, const std::function<void(int)>& progress,
                        const std::function<bool()>& stop) {
    EntryList& folders = W().FolderList;
    std::uint64_t handled = 0;
    for (std::size_t i = 0; i < folders.Size(); ++i) {
        if (stop && stop()) return false;
        const std::uint32_t parent = folders[i].parentNumber;
        if (parent == kRootFolderNumber) continue;
        if (!folders.HasOwnNumber(parent)) folders.SetParentNumber(i, kLostFolderNumber);
        ++handled;
        if (progress) {
            std::uint64_t pct = folderCount ? handled * 100 / folderCount : 100;
            progress(static_cast<int>(std::min<std::uint64_t>(pct, 100)));
        }
    }
    return true;
}

std::uint32_t PopulateFolderTree(job::TreeItem parentItem, std::uint32_t parentNumber) {
    job::TreeView* tree = W().directoryTree;
    if (!tree) return 0;
    EntryList& folders = W().FolderList;
    job::TreeItem root = tree->Root();
    if (root) tree->SetStateImage(root, job::kUnchecked);

    // A folder table where two folders share a number shows the shared
    // children under each of them; a chain of such duplicates would multiply
    // without end, so the number of items is bounded.
    const std::size_t itemBudget = std::max<std::size_t>(folders.Size() * 4, 65536);

    struct Frame {
        job::TreeItem item;
        std::uint32_t number;
        EntryList::IndexRange children;
        const std::uint32_t* pos;
    };
    std::vector<Frame> stack;
    // Numbers on the current path: the frames themselves are searched up to
    // a small depth, deeper ones are also kept in a set.
    constexpr std::size_t kScannedDepth = 32;
    std::unordered_set<std::uint32_t> deepPath;
    auto onPath = [&](std::uint32_t number) {
        const std::size_t scanned = std::min(stack.size(), kScannedDepth);
        for (std::size_t i = 0; i < scanned; ++i)
            if (stack[i].number == number) return true;
        return stack.size() > kScannedDepth && deepPath.count(number) != 0;
    };
    std::uint32_t inserted = 0;
    auto push = [&](job::TreeItem item, std::uint32_t number) {
        if (stack.size() >= kScannedDepth) deepPath.insert(number);
        const EntryList::IndexRange r = folders.ChildRange(number);
        stack.push_back(Frame{item, number, r, r.begin()});
    };
    push(parentItem, parentNumber);
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.pos == f.children.end() || inserted >= itemBudget) {
            if (stack.size() > kScannedDepth) deepPath.erase(f.number);
            stack.pop_back();
            continue;
        }
        const std::size_t index = *f.pos++;
        const job::TreeItem parent = f.item;
        EntryRecord& rec = folders[index];
        job::TreeItem item = tree->InsertItem(parent, rec.name, kFolderTreeImage, job::kUnchecked);
        folders.SetTreeItem(index, item);
        ++inserted;
        if (!onPath(rec.ownNumber)) push(item, rec.ownNumber);
    }
    if (root) tree->Expand(root);
    return inserted;
}

std::vector<ListedRow> FolderRows(std::uint32_t number) {
    std::vector<ListedRow> rows;
    W().FolderList.ForEachChild(number, [&](EntryRecord& r) { rows.push_back({&r, true, FolderRow(r)}); });
    W().FileList.ForEachChild(number, [&](EntryRecord& r) { rows.push_back({&r, false, FileRow(r)}); });
    return rows;
}

void ListFolder(std::uint32_t number) {
    job::ClearDetailsRows();
    W().FolderList.ForEachChild(number, [](EntryRecord& r) { job::ReportDetailsRow(FolderRow(r)); });
    W().FileList.ForEachChild(number, [](EntryRecord& r) { job::ReportDetailsRow(FileRow(r)); });
}

// ---- lookups --------------------------------------------------------------------------

EntryRecord* FindFolderByTreeItem(job::TreeItem item) { return W().FolderList.FindByTreeItem(item); }

EntryRecord* FindFileByOrdinal(std::uint32_t ordinal) { return W().FileList.FindByOrdinal(ordinal); }

std::uint32_t FolderNumberOfItem(job::TreeItem item) {
    const EntryRecord* r = FindFolderByTreeItem(item);
    return r ? r->ownNumber : kRootFolderNumber;
}

std::string TreeItemPath(job::TreeItem item) {
    job::TreeView* tree = W().directoryTree;
    if (!tree || !item) return {};
    const job::TreeItem root = tree->Root();
    std::string path = tree->Text(item);
    for (job::TreeItem p = tree->Parent(item); p && p != root; p = tree->Parent(p)) {
        std::string text = tree->Text(p);
        if (text.empty() || text.back() != '\\') text += '\\';
        path = text + path;
    }
    return path;
}

std::string ShownPath(job::TreeItem item) {
    job::TreeView* tree = W().directoryTree;
    std::string shown = W().selectedVolumeName + ":\\";
    if (!tree || !item || item == tree->Root()) return shown;
    return shown + TreeItemPath(item);
}

bool FindEntryByPath(const std::string& path, PathMatch* match) {
    job::TreeView* tree = W().directoryTree;
    if (!tree || !match) return false;
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);

    job::TreeItem current = tree->Root();
    if (!current) return false;
    *match = PathMatch{nullptr, current, true};
    for (std::size_t k = 0; k < parts.size(); ++k) {
        const bool last = k + 1 == parts.size();
        // Two rounds: exact names, then names that differ only in case.
        for (int round = 0; round < 2; ++round) {
            auto same = [&](const std::string& a) { return round == 0 ? a == parts[k] : SameTextIgnoringCase(a, parts[k]); };
            job::TreeItem found = nullptr;
            for (job::TreeItem c = tree->FirstChild(current); c; c = tree->NextSibling(c)) {
                if (same(tree->Text(c))) {
                    found = c;
                    break;
                }
            }
            if (found) {
                current = found;
                *match = PathMatch{FindFolderByTreeItem(found), found, true};
                goto nextPart;
            }
            if (last) {
                EntryRecord* file = nullptr;
                W().FileList.ForEachChild(FolderNumberOfItem(current), [&](EntryRecord& r) {
                    if (!file && same(r.name)) file = &r;
                });
                if (file) {
                    *match = PathMatch{file, nullptr, false};
                    return true;
                }
            }
        }
        return false;
    nextPart:;
    }
    return true;
}

void WalkTree(job::TreeItem item,
              const std::function<void(const EntryRecord&, const std::string&, bool)>& fn) {
    job::TreeView* tree = W().directoryTree;
    if (!tree || !item) return;
    struct Frame {
        job::TreeItem item;
        std::string path;
        job::TreeItem nextChild;
    };
    std::vector<Frame> stack;
    stack.push_back({item, item == tree->Root() ? std::string() : TreeItemPath(item), tree->FirstChild(item)});
    while (!stack.empty()) {
        if (job::TreeItem c = stack.back().nextChild) {
            stack.back().nextChild = tree->NextSibling(c);
            std::string p = JoinPath(stack.back().path, tree->Text(c));
            if (const EntryRecord* rec = FindFolderByTreeItem(c)) fn(*rec, p, true);
            job::TreeItem first = tree->FirstChild(c);
            stack.push_back({c, std::move(p), first});
            continue;
        }
        const Frame f = std::move(stack.back());
        stack.pop_back();
        W().FileList.ForEachChild(FolderNumberOfItem(f.item),
                                  [&](EntryRecord& r) { fn(r, JoinPath(f.path, r.name), false); });
    }
}

// ---- check boxes -------------------------------------------------------------------------

void SetSubtreeCheck(job::TreeItem item, int state) {
    job::TreeView* tree = W().directoryTree;
    if (!tree || !item) return;
    const std::uint8_t value = state == job::kChecked ? 1 : 0;
    // Depth first, each item before its children, without recursion (the
    // tree may be very deep).
    std::vector<job::TreeItem> pending{item};
    while (!pending.empty()) {
        job::TreeItem it = pending.back();
        pending.pop_back();
        tree->SetStateImage(it, state);
        const std::uint32_t number = FolderNumberOfItem(it);
        W().FolderList.ForEachChild(number, [&](EntryRecord& r) { r.checked = value; });
        W().FileList.ForEachChild(number, [&](EntryRecord& r) { r.checked = value; });
        if (it == W().currentFolderItem) ListFolder(number);
        std::vector<job::TreeItem> children;
        for (job::TreeItem c = tree->FirstChild(it); c; c = tree->NextSibling(c)) children.push_back(c);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
}

void RecomputeAncestorsAfterCheck(job::TreeItem item) {
    job::TreeView* tree = W().directoryTree;
    if (!tree || !item) return;
    for (job::TreeItem a = tree->Parent(item); a; a = tree->Parent(a)) {
        int result = job::kChecked;
        for (job::TreeItem c = tree->FirstChild(a); c; c = tree->NextSibling(c)) {
            const int s = tree->StateImage(c);
            if (s == job::kPartlyChecked || s == job::kUnchecked) {
                result = job::kPartlyChecked;
                break;
            }
        }
        tree->SetStateImage(a, result);
    }
}

void RecomputeAncestorsAfterUncheck(job::TreeItem item) {
    job::TreeView* tree = W().directoryTree;
    if (!tree || !item) return;
    for (job::TreeItem a = tree->Parent(item); a; a = tree->Parent(a)) {
        int result = job::kUnchecked;
        for (job::TreeItem c = tree->FirstChild(a); c; c = tree->NextSibling(c)) {
            if (tree->StateImage(c) != job::kUnchecked) {
                result = job::kPartlyChecked;
                break;
            }
        }
        tree->SetStateImage(a, result);
    }
}

void ToggleFolderCheck(job::TreeItem item) {
    job::TreeView* tree = W().directoryTree;
    if (!tree || !item) return;
    if (tree->StateImage(item) != job::kUnchecked) {
        SetSubtreeCheck(item, job::kUnchecked);
        RecomputeAncestorsAfterUncheck(item);
    } else {
        SetSubtreeCheck(item, job::kChecked);
        RecomputeAncestorsAfterCheck(item);
    }
}

}  // namespace nw
