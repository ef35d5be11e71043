#include "app/SupportDetails.h"

#include <QStringList>
#include <QUrl>

#include "app/SupportContacts.h"
#include "app/job/Identity.h"
#include "app/job/Settings.h"
#include "records/MailDispatch.h"

namespace app::support {

namespace {

QString Configured(const char* value) {
    return QString::fromStdString(job::RegistryTextRead(job::kClassesRoot, job::kProductKey, value)).trimmed();
}

}  // namespace

QString WebSite() {
    const QString configured = Configured(kWebSiteValue);
    const QUrl url(configured, QUrl::StrictMode);
    if (!configured.isEmpty() && url.isValid() && !url.host().isEmpty() &&
        (url.scheme() == "http" || url.scheme() == "https"))
        return configured;
    return kWebSite;
}

QString MailAddress() { return QString::fromStdString(records::SupportAddress()); }

QString TelephoneLines() {
    QStringList lines;
    for (const QString& n : Configured(kTelephoneValue).split(';', Qt::SkipEmptyParts))
        if (!n.trimmed().isEmpty()) lines << n.trimmed();
    return lines.isEmpty() ? QString(kTelephoneLines) : lines.join('\n');
}

}  // namespace app::support
