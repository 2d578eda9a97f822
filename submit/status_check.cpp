#include "submit/status_check.h"

#include "app/config.h"
#include "platform/dialogs.h"

namespace fb {

namespace {
std::string& connectionReason() {
    static std::string reason;
    return reason;
}
} // namespace

std::string& studyServerScheme() {
    static std::string scheme = config::StudyServerScheme;
    return scheme;
}

std::string studyServerUrl(const std::string& host, const std::string& path) {
    return studyServerScheme() + "://" + host + path;
}

StudyStatus statusFromBody(const std::string& body) {
    if (body.find("zuende") != std::string::npos)
        return StudyStatus::Closed;
    if (body.find("imgang") != std::string::npos)
        return StudyStatus::Running;
    return StudyStatus::Error;
}

StudyStatus queryStudyStatus(TNMHTTP& http, const std::string& host) {
    http.TimeOut = 30000;
    connectionReason().clear();
    try {
        http.Get(studyServerUrl(host, "/humor/bogenakt.html"));
    } catch (const ETlsError& e) {
        connectionReason() = e.reason();
        return StudyStatus::Error;
    } catch (...) {
        return StudyStatus::Error;
    }
    return statusFromBody(http.Body);
}

void showStatusMessage(StudyStatus status, const std::string& studyWebAddress, bool showRunning) {
    switch (status) {
    case StudyStatus::Error:
        errorBox("Ich konnte keine Verbindung mit dem Server aufbauen.\r\n"
                 "Bitte \xFC" "berpr\xFC" "fen Sie Ihre Verbindung und versuchen Sie es erneut.",
                 BoxButtons::Ok, connectionReason());
        break;
    case StudyStatus::Closed:
        warningBox("Die Datenerhebung f\xFCr diese Studie ist abgeschlossen.\r\n"
                   "Sie k\xF6nnen die Fragen beantworten, aber Sie k\xF6nnen Ihre Antworten nicht einsenden.\r\n"
                   "Bitte besuchen sie " +
                   studyWebAddress + " f\xFCr aktuelle Informationen.");
        break;
    case StudyStatus::Running:
        if (showRunning)
            informationBox("Alles in Ordnung. Die Studie ist noch im Gang.\r\n"
                           "Bitte senden Sie Ihre Antworten ein, wenn Sie den Fragebogen ausgef\xFCllt haben.");
        break;
    }
}

} // namespace fb
