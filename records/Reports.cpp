#include "records/Reports.h"

#include <sys/stat.h>

#include "records/MailDispatch.h"

namespace records {

CommandResult ViewReport(const std::string& reportPath, FileOpener& opener) {
    CommandResult result;
    result.path = reportPath;
    struct stat st {};
    if (reportPath.empty() || ::stat(reportPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        result.message = kUnableToFindLogText;
        return result;
    }
    opener.Open(reportPath);
    result.done = true;
    return result;
}

CommandResult EmailReport(const std::string& reportPath, const std::string& supportAddress) {
    return MailFileToSupport(reportPath, kReportMailSubject, kReportMailText, supportAddress);
}

}  // namespace records
