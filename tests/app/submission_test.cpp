// The status check and the upload against scripted peers on loopback.
#include "app/application.h"
#include "app/form_menu.h"
#include "content/embedded.h"
#include "engine/line_file.h"
#include "submit/form_senden.h"
#include "submit/status_check.h"
#include "tests/net/scripted_server.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_env.h"

#include <QTimer>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using fbtest::readBytes;
using fbtest::writeBytes;

namespace {

std::string page(const std::string& body, const std::string& status = "200 OK") {
    return "HTTP/1.0 " + status + "\r\nContent-Type: text/html\r\n\r\n" + body;
}

struct App {
    fbtest::WorkDir dir;
    fbtest::ScriptedDialogs boxes;
    std::unique_ptr<fb::Program> program;
    // These peers speak plain HTTP, whatever the build's scheme; HTTPS has
    // its own tests.
    const std::string buildScheme = fb::studyServerScheme();
    App() {
        fb::studyServerScheme() = "http";
        fb::setDateSource([] { return fb::LocalDate{2002, 10, 1}; });
        program = std::make_unique<fb::Program>(fb::embeddedResources());
        program->show();
        boxes.boxes.clear(); // start-up boxes are other tests' business
    }
    ~App() {
        program.reset();
        fb::setDateSource(nullptr);
        fb::studyServerScheme() = buildScheme;
    }
    TFormMenu& m() { return *program->FormMenu; }
    TFormSenden& s() { return *program->FormSenden; }
    void pointAt(std::uint16_t port) { m().StudyServerHost = "127.0.0.1:" + std::to_string(port); }
};

const std::string kErrorText = "Ich konnte keine Verbindung mit dem Server aufbauen.\r\n"
                               "Bitte \xFC" "berpr\xFC" "fen Sie Ihre Verbindung und versuchen Sie es erneut.";

} // namespace

TEST(StatusCheck, MarkersDecideTheOutcome) {
    EXPECT_EQ(fb::statusFromBody("<p>Die Studie ist imgang</p>"), fb::StudyStatus::Running);
    EXPECT_EQ(fb::statusFromBody("zuende imgang"), fb::StudyStatus::Closed);
    EXPECT_EQ(fb::statusFromBody("Imgang"), fb::StudyStatus::Error);
    EXPECT_EQ(fb::statusFromBody(""), fb::StudyStatus::Error);
}

TEST(StatusCheck, StudyTimeTestAsksThenReports) {
    App a;
    nettest::ScriptedServer server({nettest::answer(page("Die Studie ist imgang.")),
                                    nettest::answer(page("Leider zuende.")),
                                    nettest::answer(page("Not Found", "404 Not Found"))});
    a.pointAt(server.port());
    a.boxes.answers = {fb::BoxAnswer::Cancel};
    a.m().laufzeitClick();
    ASSERT_EQ(a.boxes.boxes.size(), 1u);
    EXPECT_EQ(a.boxes.boxes[0].caption, "Information");
    EXPECT_EQ(a.boxes.boxes[0].buttons, fb::BoxButtons::OkCancel);
    EXPECT_EQ(server.accepted(), 0) << "cancel makes no request";
    a.m().laufzeitClick();
    EXPECT_EQ(a.boxes.boxes.back().caption, "Information");
    EXPECT_EQ(a.boxes.boxes.back().text.substr(0, 46), "Alles in Ordnung. Die Studie ist noch im Gang.");
    a.m().laufzeitClick();
    EXPECT_EQ(a.boxes.boxes.back().caption, "Warning");
    EXPECT_NE(a.boxes.boxes.back().text.find("Bitte besuchen sie http://localhost:8080/humor/ f\xFCr aktuelle"),
              std::string::npos);
    a.m().laufzeitClick();
    EXPECT_EQ(a.boxes.boxes.back().caption, "Error");
    EXPECT_EQ(a.boxes.boxes.back().text, kErrorText);
    const auto requests = server.requests();
    ASSERT_GE(requests.size(), 1u);
    EXPECT_EQ(requests[0], "GET /humor/bogenakt.html HTTP/1.0\r\nHost: 127.0.0.1\r\n"
                           "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
                           "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n"
                           "Content-type: application/x-www-form-urlencoded\r\n\r\n");
    EXPECT_EQ(a.m().HttpClient->TimeOut, 30000);
    EXPECT_TRUE(a.m().isEnabled());
}

TEST(StatusCheck, SendCommandOpensTheDialogOnlyWhileTheStudyRuns) {
    App a;
    nettest::ScriptedServer server({nettest::answer(page("zuende und imgang")), nettest::answer(page("imgang"))});
    a.pointAt(server.port());
    a.m().Abesn1Click();
    EXPECT_EQ(a.boxes.boxes.back().caption, "Warning");
    EXPECT_FALSE(a.s().isVisible());
    EXPECT_TRUE(a.m().isEnabled());
    a.m().Abesn1Click();
    EXPECT_TRUE(a.s().isVisible());
    EXPECT_FALSE(a.m().isEnabled());
    a.s().Button3->click();
    EXPECT_TRUE(a.m().isEnabled());
}

TEST(StatusCheck, RefusedConnectionIsTheErrorAndTheWindowIsUsableAgain) {
    App a;
    a.pointAt(nettest::closedPort());
    a.m().Abesn1Click();
    EXPECT_EQ(a.boxes.boxes.back().text, kErrorText);
    EXPECT_TRUE(a.m().isEnabled());
    EXPECT_FALSE(a.s().isVisible());
}

TEST(Upload, SuccessMarksTheFileAndSendsItsBytesExactly) {
    App a;
    const std::string line = "recipient=humor-studie@localhost&subject=Bogendaten&Name=Eva&Email=e@x&Komm=a & b = 100%\r\n";
    writeBytes(a.dir.file("00000000.bgn"), line);
    nettest::ScriptedServer server({nettest::answer(page("<html><b>Vielen Dank!</b></html>"))});
    a.pointAt(server.port());
    a.m().setEnabled(false);
    a.s().show();
    ASSERT_EQ(a.s().Dateiname->caption(), "00000000.bgn");
    a.s().Button1->click();
    ASSERT_FALSE(a.boxes.boxes.empty());
    EXPECT_EQ(a.boxes.boxes.back().caption, fb::applicationTitle());
    EXPECT_EQ(a.boxes.boxes.back().text,
              "Die Daten\xFC" "bertragung war erfolgreich. Sie erhalten in K\xFCrze eine Empfangsbest\xE4tigung an "
              "die angegebene Email-Adresse. Vielen Dank f\xFCr Ihre Teilnahme.");
    EXPECT_EQ(readBytes(a.dir.file("00000000.bgn")), line + "Daten erfolgreich gesendet.\r\n");
    EXPECT_FALSE(a.s().isVisible());
    EXPECT_TRUE(a.m().isEnabled());
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], "POST /cgi-bin/mailmanager.pl HTTP/1.0\r\nHost: 127.0.0.1\r\n"
                           "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
                           "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n"
                           "Content-type: application/x-www-form-urlencoded\r\n"
                           "Content-Length: " + std::to_string(line.size()) + "\r\n\r\n" + line);
    EXPECT_EQ(a.m().HttpClient->TimeOut, 60000);
}

TEST(Upload, WithoutThanksTheFailureBoxAndNothingMarked) {
    App a;
    writeBytes(a.dir.file("00000000.bgn"), "recipient=x\r\n");
    nettest::ScriptedServer server({nettest::answer(page("vielen dank! (klein)")),
                                    nettest::answer(page("Fehler", "500 Internal Server Error"))});
    a.pointAt(server.port());
    a.s().show();
    for (int i = 0; i < 2; ++i) {
        a.s().Button1->click();
        EXPECT_EQ(a.boxes.boxes.back().text,
                  "Es konnte keine Verbindung zum Server aufgebaut werden. Bitte versuchen Sie es sp\xE4ter noch einmal "
                  "oder senden Sie die Datei per Email-Attachment an humor-studie@localhost");
        EXPECT_TRUE(a.s().isVisible());
        EXPECT_TRUE(a.s().Button1->isEnabled());
    }
    EXPECT_EQ(readBytes(a.dir.file("00000000.bgn")), "recipient=x\r\n");
}

TEST(Upload, NoFileFailsInTheErrorBoxAndNothingIsMarked) {
    App a;
    nettest::ScriptedServer server({nettest::answer(page("Vielen Dank!"))});
    a.pointAt(server.port());
    a.s().show();
    a.s().Dateiname->setCaption("gibtsnicht.bgn");
    EXPECT_EQ(a.s().Warnung->caption(), "keine Datei");
    a.s().Button1->click();
    ASSERT_FALSE(a.boxes.boxes.empty());
    EXPECT_EQ(a.boxes.boxes.back().icon, fb::BoxIcon::Error);
    EXPECT_EQ(server.accepted(), 0);
    EXPECT_FALSE(fb::fileExists("gibtsnicht.bgn"));
    EXPECT_TRUE(a.s().isVisible());
}

TEST(Upload, ASecondClickWhileSendingSendsNothing) {
    App a;
    writeBytes(a.dir.file("00000000.bgn"), "recipient=x\r\n");
    nettest::ScriptedServer server({[](nettest::Peer& p) {
                                        p.readRequest();
                                        p.pause(400ms);
                                        p.send(page("Vielen Dank!"));
                                    },
                                    nettest::answer(page("Vielen Dank!"))});
    a.pointAt(server.port());
    a.s().show();
    bool enabledDuring = true;
    QTimer::singleShot(150, [&] {
        enabledDuring = a.s().Button1->isEnabled();
        a.s().Button1->click();
    });
    a.s().Button1->click();
    EXPECT_FALSE(enabledDuring);
    EXPECT_EQ(server.accepted(), 1);
    EXPECT_EQ(readBytes(a.dir.file("00000000.bgn")), "recipient=x\r\nDaten erfolgreich gesendet.\r\n");
}
