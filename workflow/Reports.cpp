#include "workflow/Reports.h"

#include "base/Identity.h"
#include "records/MailDispatch.h"
#include "records/Reports.h"
#include "workflow/Texts.h"

namespace workflow {

namespace {

ReportOutcome OutcomeOf(const records::CommandResult& result) {
    ReportOutcome out;
    out.done = result.done;
    out.path = result.path;
    out.handOffStatus = result.handOffStatus;
    if (!result.message.empty()) out.notice = ErrorNotice(result.message);
    return out;
}

ReportOutcome NeedsOpenVolume() {
    ReportOutcome out;
    out.notice = ErrorNotice(kGoToStep2Text);
    return out;
}

// The support address configured in the store ("" when none; the mail
// dispatch then uses its built-in one).
std::string ConfiguredSupportAddress(Session& session) {
    return RegistryTextRead(*session.store, base::kClassesRoot, base::kProductKey, records::kSupportAddressValue);
}

}  // namespace

ReportOutcome ViewListing(Session& session, records::FileOpener& opener) {
    if (!session.volumeOpen.load()) return NeedsOpenVolume();
    return OutcomeOf(records::ViewListing(session.mounted, opener));
}

ReportOutcome PrepareListingPrint(Session& session) {
    if (!session.volumeOpen.load()) return NeedsOpenVolume();
    return OutcomeOf(records::PreparePrintListing(session.mounted));
}

ReportOutcome EmailListing(Session& session) {
    if (!session.volumeOpen.load()) return NeedsOpenVolume();
    return OutcomeOf(records::EmailListing(session.mounted, ConfiguredSupportAddress(session)));
}

ReportOutcome ViewReport(Session& session, records::FileOpener& opener) {
    return OutcomeOf(records::ViewReport(session.activityLog.path, opener));
}

ReportOutcome EmailReport(Session& session) {
    return OutcomeOf(records::EmailReport(session.activityLog.path, ConfiguredSupportAddress(session)));
}

}  // namespace workflow
