// The inside of one RunSave: the job, what it reads, where it reports, and
// the drivers of its two sources. Used by the save engine's sources only.
#pragma once

#include <cstdint>
#include <string>

#include "netware/FileReader.h"
#include "recovery/SafeFolders.h"
#include "recovery/SaveEngine.h"

namespace recovery {

class SaveRun {
public:
    SaveRun(SaveJob& job, const SaveInput& input, SaveProgressView& view, SavePrompts& prompts);

    SaveOutcome Run();

    // Counting pass: sets totalFiles and totalBytes, zeroes savedBytes.
    void CountSelection();

    // One file. The name is made safe here; the folder path must be the
    // destination folder or a path below it built by this run.
    void SaveOneFile(const nw::EntryRecord& file, const std::string& folderPath);

private:
    void RunCounting();
    bool CountBranch(std::uint32_t top);
    void CountFile(const nw::EntryRecord& file);

    // Tree source.
    SaveOutcome SaveCheckedTree();
    void SaveTreeBranch(std::uint32_t top);
    // List source.
    SaveOutcome SaveListSelection();
    void SaveListFolder(std::uint32_t node, const std::string& parentPath, const std::string& folderName);
    // The files of one folder node (tree source: only the marked ones).
    void SaveFolderFiles(std::uint32_t node, const std::string& folderPath);

    // Takes the destination folder as the root of every path of the run;
    // false when it cannot be made or reached.
    bool UseDestination(const std::string& folder);
    void CreateFolderPath(const std::string& path) { (void)OpenFolderPath(root_, path, true); }
    // SafeName, noting a changed name once per job in the activity report.
    std::string SafeNameReported(const std::string& name);

    // Pieces of SaveOneFile.
    void AskAboutWriteError(const std::string& target, const std::string& reason);
    void ShowTimeFigures();
    bool StoredLength(std::uint32_t firstBlock, std::uint32_t size, std::uint32_t* stored);

    friend class TargetConsumer;

    SaveJob& job_;
    const SaveInput& input_;
    SaveProgressView& view_;
    SavePrompts& prompts_;
    nw::FileReader fileReader_;
    std::string root_;  // the destination folder, "/" ended
};

}  // namespace recovery
