// The status check and the upload over HTTPS as the participant meets them:
// a sound server gets the answer file's bytes exactly; one whose certificate
// is not trusted gets nothing, and the boxes keep their texts and say why in
// their details.
#include "app/application.h"
#include "app/form_menu.h"
#include "content/embedded.h"
#include "submit/form_senden.h"
#include "submit/status_check.h"
#include "tests/net/tls_peer.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

using namespace nettest;

TEST(HttpsSubmission, StatusAndUploadToATrustedServerAndNothingToAnUntrustedOne) {
    fbtest::WorkDir dir;
    fbtest::ScriptedDialogs boxes;
    fb::setDateSource([] { return fb::LocalDate{2002, 10, 1}; });
    auto program = std::make_unique<fb::Program>(fb::embeddedResources());
    program->show();
    TFormMenu& menu = *program->FormMenu;
    TFormSenden& senden = *program->FormSenden;
    const std::string buildScheme = fb::studyServerScheme();
    fb::studyServerScheme() = "https";
    const Identity ca = makeIdentity({}, nullptr, -3600, 86400, true);
    menu.HttpClient->TlsTrust = {ca.certificate, {}};
    const std::string line = "recipient=humor-studie@localhost&subject=Bogendaten&Name=Bj\xF6rn&Email=b@x&Komm=a & b\r\n";
    fbtest::writeBytes(dir.file("00000000.bgn"), line);

    for (bool trusted : {false, true}) {
        SCOPED_TRACE(trusted ? "trusted" : "untrusted");
        TlsPeer peer({makeIdentity({"127.0.0.1"}, trusted ? &ca : nullptr)});
        menu.StudyServerHost = "127.0.0.1:" + std::to_string(peer.port());
        boxes.boxes.clear();
        fb::StudyStatus status = fb::queryStudyStatus(*menu.HttpClient, menu.StudyServerHost);
        fb::showStatusMessage(status, "", true);
        senden.show();
        ASSERT_EQ(senden.Dateiname->caption(), "00000000.bgn");
        senden.Button1->click();
        ASSERT_EQ(boxes.boxes.size(), 2u);
        if (!trusted) {
            EXPECT_EQ(status, fb::StudyStatus::Error);
            EXPECT_EQ(boxes.boxes[0].caption, "Error");
            EXPECT_EQ(boxes.boxes[0].text, "Ich konnte keine Verbindung mit dem Server aufbauen.\r\n"
                                           "Bitte \xFC" "berpr\xFC" "fen Sie Ihre Verbindung und versuchen Sie es erneut.");
            EXPECT_EQ(boxes.boxes[1].text, "Es konnte keine Verbindung zum Server aufgebaut werden. Bitte versuchen Sie "
                                           "es sp\xE4ter noch einmal oder senden Sie die Datei per Email-Attachment an "
                                           "humor-studie@localhost");
            for (const auto& box : boxes.boxes)
                EXPECT_EQ(box.details, fb::tls::reason::Untrusted);
            EXPECT_EQ(peer.received(), "");
            EXPECT_EQ(fbtest::readBytes(dir.file("00000000.bgn")), line);
            EXPECT_TRUE(senden.isVisible());
        } else {
            EXPECT_EQ(status, fb::StudyStatus::Running);
            EXPECT_EQ(boxes.boxes[0].details, "");
            EXPECT_NE(boxes.boxes[1].text.find("erfolgreich"), std::string::npos);
            const std::string received = peer.received();
            ASSERT_GE(received.size(), line.size());
            EXPECT_EQ(received.substr(received.size() - line.size()), line);
            EXPECT_NE(received.find("POST /cgi-bin/mailmanager.pl HTTP/1.0\r\n"), std::string::npos);
            EXPECT_EQ(fbtest::readBytes(dir.file("00000000.bgn")), line + "Daten erfolgreich gesendet.\r\n");
        }
    }
    fb::studyServerScheme() = buildScheme;
    program.reset();
    fb::setDateSource(nullptr);
}
