#include "records/Reports.h"

#include <sys/stat.h>

#include "app/job/Controls.h"
#include "app/job/WizardState.h"
#include "records/MailDispatch.h"

namespace records {

bool ViewReport(FileOpener& opener) {
    const std::string& path = job::Wizard().activityLogPath;
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        job::ShowMessage(kUnableToFindLogText, job::MessageIcon::Error);
        return false;
    }
    opener.Open(path);
    return true;
}

bool EmailReport() {
    return MailFileToSupport(job::Wizard().activityLogPath, kReportMailSubject, kReportMailText);
}

}  // namespace records
