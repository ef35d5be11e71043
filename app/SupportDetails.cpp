#include "app/SupportDetails.h"

#include <QStringList>
#include <QUrl>

#include "app/SupportContacts.h"
#include "base/Identity.h"
#include "records/MailDispatch.h"
#include "workflow/SettingsStore.h"

namespace app::support {

namespace {

QString Configured(workflow::SettingsStore& store, const char* value) {
    return QString::fromStdString(workflow::RegistryTextRead(store, base::kClassesRoot, base::kProductKey, value))
        .trimmed();
}

}  // namespace

QString WebSite(workflow::SettingsStore& store) {
    const QString configured = Configured(store, kWebSiteValue);
    const QUrl url(configured, QUrl::StrictMode);
    if (!configured.isEmpty() && url.isValid() && !url.host().isEmpty() &&
        (url.scheme() == "http" || url.scheme() == "https"))
        return configured;
    return kWebSite;
}

QString MailAddress(workflow::SettingsStore& store) {
    return QString::fromStdString(records::SupportAddress(
        workflow::RegistryTextRead(store, base::kClassesRoot, base::kProductKey, records::kSupportAddressValue)));
}

QString TelephoneLines(workflow::SettingsStore& store) {
    QStringList lines;
    for (const QString& n : Configured(store, kTelephoneValue).split(';', Qt::SkipEmptyParts))
        if (!n.trimmed().isEmpty()) lines << n.trimmed();
    return lines.isEmpty() ? QString(kTelephoneLines) : lines.join('\n');
}

}  // namespace app::support
