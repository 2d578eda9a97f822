// The road of a questionnaire through the real windows, with a small script.
#include "app/application.h"
#include "app/form_menu.h"
#include "content/embedded.h"
#include "engine/form_fragen.h"
#include "engine/line_file.h"
#include "platform/errors.h"
#include "submit/form_senden.h"
#include "tests/support/replaced_script_store.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_env.h"

#include <QBuffer>
#include <QKeyEvent>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

using fbtest::readBytes;
using fbtest::writeBytes;

namespace {

const std::string kScript =
    "PAGE Person1\r\n\r\n"
    "TEXT Name\r\nIhr Name?\r\n\r\n"
    "TEXT Email\r\nIhre E-Mail-Adresse?\r\n\r\n"
    "RADIO Geschlecht\r\nIhr Geschlecht?\r\nm\xE4nnlich\r\nweiblich\r\nEND\r\n\r\n"
    "TEXT Geburt\r\nGeburtsdatum?\r\n\r\n"
    "PAGE Listen\r\n\r\n"
    "RADIO Viele\r\nDreizehn?\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11\r\n12\r\n13\r\nEND\r\n\r\n"
    "SINGLE Land\r\nWo?\r\nBayern   \r\nHessen   \r\nanderes Land\r\nEND\r\n\r\n"
    "MULTI Was\r\nWas mögen Sie?\r\nA\r\nB\r\nC\r\nEND\r\n\r\n"
    "SKALA.STD Btg\r\nWann gehen Sie ins Bett?\r\n20\r\n\r\n"
    "PAGE Leer\r\n"
    "PAGE Witze\r\n\r\n"
    "SKALA.WT W01\r\nErste Zeile\r\n\r\nPointe\r\nEND\r\n\r\n"
    "SKALA.WT W04\r\nZweiter Witz\r\nEND\r\n\r\n"
    "SKALA.WP W41\r\nbild001.jpg\r\n\r\n"
    "PAGE Ende\r\n\r\n"
    "TEXT Komm\r\nKommentar?\r\n\r\n"
    "SKALA.TAG Fuehlz\r\nWann f\xFChlen Sie sich am besten?\r\n\r\n"
    "RADIO Ffragen\r\nD\xFCrfen wir Sie anschreiben?\r\nja\r\nnein\r\nEND";

std::string cartoon() {
    QImage img(120, 90, QImage::Format_RGB32);
    img.fill(QColor(200, 220, 255));
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "JPG");
    return bytes.toStdString();
}

const fb::ResourceStore& testStore() {
    static const std::string jpg = cartoon();
    static const fbtest::ReplacedScriptStore s(
        kScript, {{"JPG", "BILD001", reinterpret_cast<const unsigned char*>(jpg.data()), jpg.size()}});
    return s.store();
}

const std::string kHeader = "recipient=humor-studie@localhost&subject=Bogendaten";

struct Road {
    fbtest::ScriptedDialogs boxes;
    std::unique_ptr<fb::Program> program;
    Road() { start(); }
    void start() {
        fb::setDateSource([] { return fb::LocalDate{2002, 10, 1}; });
        program = std::make_unique<fb::Program>(testStore());
        program->show();
    }
    void restart() {
        program.reset();
        start();
    }
    ~Road() {
        program.reset();
        fb::setDateSource(nullptr);
    }
    TFormMenu& m() { return *program->FormMenu; }
    TFormFragen& page() { return *program->FormFragen; }
    fb::PageControls& c() { return m().Page.Controls; }
    void fillFirstPage() {
        c().PageEdits[0]->setCaption("Eva Muster");
        c().PageEdits[1]->setCaption("eva@example.org");
        c().PageRadioGroups[0]->setItemIndex(1);
        c().PageEdits[2]->setCaption("01.02.1970");
    }
    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2)); }
    void save() { page().SpeichernButton->click(); }
    void breakOff() { page().AbbrechenButton->click(); }
};

} // namespace

TEST(PageLayout, FirstPageCaptionPositionsAndButtons) {
    fbtest::WorkDir dir;
    Road r;
    r.m().NeuerBogen1Click();
    EXPECT_TRUE(r.page().isVisible());
    EXPECT_FALSE(r.m().isEnabled());
    EXPECT_EQ(r.page().caption(), "Seite 1 von " + std::to_string(r.m().PageCount) + ".");
    EXPECT_EQ(r.page().outerWidth(), 571);
    ASSERT_EQ(r.c().PageLabels.size(), 5u); // four questions and the spacer
    EXPECT_EQ(r.c().PageLabels[0]->geometry().topLeft(), QPoint(30, 45));
    EXPECT_EQ(r.c().PageLabels[0]->width(), 571 - 120);
    EXPECT_EQ(r.c().PageEdits[0]->geometry().left(), 30);
    EXPECT_EQ(r.c().PageEdits[0]->width(), 571 - 80);
    EXPECT_EQ(r.c().PageRadioGroups[0]->height(), 50);
    const int y = r.page().SpeichernButton->y();
    EXPECT_EQ(r.page().SpeichernButton->geometry(), QRect(571 - 120, y, 70, r.page().SpeichernButton->height()));
    EXPECT_EQ(r.page().AbbrechenButton->geometry().topLeft(), QPoint(571 - 195, y));
    EXPECT_EQ(r.c().PageLabels.back()->y(), y + 50);
    EXPECT_EQ(r.m().menumemo->lastLine(), "Neuer Bogen begonnen.");
}

TEST(PageLayout, ListsScalesAndAnEmptyPage) {
    fbtest::WorkDir dir;
    writeBytes(dir.file("bogen.prt"), kHeader + "\r\nPAGE Listen\r\n");
    Road r;
    r.m().Fortfahren1Click();
    EXPECT_EQ(r.m().menumemo->lastLine(), "Setze den begonnenen Fragebogen fort.");
    EXPECT_EQ(r.page().caption(), "Seite 2 von " + std::to_string(r.m().PageCount) + ".");
    EXPECT_EQ(r.c().PageRadioGroups[0]->height(), 300);
    fb::ListBox* land = r.c().PageListBoxes[0];
    EXPECT_EQ(land->height(), 10 + 3 * land->itemHeight());
    EXPECT_EQ(land->width(), 571 - 250);
    EXPECT_EQ(land->itemText(0), "Bayern   ");
    // SKALA.STD from 20: 20, 21, 22, 23, 24, 1, 2, 3 over 28 boxes.
    ASSERT_EQ(r.c().PageCheckBoxes.size(), 28u);
    std::vector<std::string> hours;
    for (std::size_t i = r.c().PageLabels.size() - 9; i + 1 < r.c().PageLabels.size(); ++i)
        hours.push_back(r.c().PageLabels[i]->caption());
    EXPECT_EQ(hours, (std::vector<std::string>{"20", "21", "22", "23", "24", "1", "2", "3"}));
    EXPECT_EQ(r.c().PageCheckBoxes[4]->x(), r.c().PageLabels[r.c().PageLabels.size() - 8]->x());
    // A widened window changes the next page only.
    const int before = land->width();
    r.page().setOuterSize(700, 508);
    QCoreApplication::processEvents();
    EXPECT_EQ(land->width(), before);
    r.c().PageRadioGroups[0]->setItemIndex(0);
    land->setSelected(1, true);
    r.c().PageCheckBoxes[3]->setMark(true);
    r.save();
    // "Leer" has no items: only the buttons, at 45.
    EXPECT_EQ(r.m().Page.ItemEntries.size(), 0u);
    EXPECT_EQ(r.page().SpeichernButton->y(), 45);
    EXPECT_EQ(r.page().SpeichernButton->x(), 700 - 120);
    const auto& a = *r.m().AnswerData;
    EXPECT_EQ(std::vector<std::string>(a.end() - 5, a.end()),
              (std::vector<std::string>{"Viele=1", "Land=1", "Was=0", "Btg=4", "PAGE Leer"}));
}

TEST(Answers, FirstPageRecordsSixLinesAndRefusesAnIncompletePage) {
    fbtest::WorkDir dir;
    Road r;
    r.m().NeuerBogen1Click();
    r.fillFirstPage();
    r.c().PageEdits[1]->setCaption("");
    const std::size_t before = r.boxes.boxes.size();
    r.save();
    ASSERT_EQ(r.boxes.boxes.size(), before + 1);
    EXPECT_EQ(r.boxes.boxes.back().caption, "Warning");
    EXPECT_EQ(r.boxes.boxes.back().buttons, fb::BoxButtons::Ok);
    EXPECT_EQ(r.boxes.boxes.back().text, "Bitte alle Eingabefelder ausf\xFCllen.");
    EXPECT_TRUE(r.m().AnswerData->empty());
    r.c().PageEdits[1]->setCaption("eva@example.org");
    r.save();
    EXPECT_EQ(*r.m().AnswerData, (std::vector<std::string>{kHeader, "Name=Eva Muster", "Email=eva@example.org",
                                                           "Geschlecht=2", "Geburt=01.02.1970", "PAGE Listen"}));
    EXPECT_EQ(r.page().caption(), "Seite 2 von " + std::to_string(r.m().PageCount) + ".");
}

TEST(Answers, OnlyOneBoxPerRowAndTheRatingLines) {
    fbtest::WorkDir dir;
    writeBytes(dir.file("bogen.prt"), kHeader + "\r\nPAGE Witze\r\n");
    Road r;
    r.m().Fortfahren1Click();
    ASSERT_EQ(r.c().PageCheckBoxes.size(), 15u);
    auto& b = r.c().PageCheckBoxes;
    EXPECT_EQ(b[14]->text(), "War mir bekannt.");
    r.click(b[2]);
    r.click(b[4]);
    EXPECT_FALSE(b[2]->mark());
    EXPECT_TRUE(b[4]->mark());
    r.click(b[4]); // the checked box again: the row is empty
    EXPECT_FALSE(b[4]->mark());
    r.click(b[2]);
    r.click(b[7]);
    r.click(b[14]);
    EXPECT_TRUE(b[2]->mark());
    EXPECT_TRUE(b[14]->mark());
    r.click(b[14]);
    EXPECT_FALSE(b[14]->mark());
    EXPECT_TRUE(b[2]->mark() && b[7]->mark());
    // Rating block geometry: both rows start 10 pixels right of "keine Ablehnung".
    fb::Label* keine = nullptr;
    for (fb::Label* l : r.c().PageLabels)
        if (l->caption() == "keine Ablehnung")
            keine = l;
    ASSERT_TRUE(keine);
    EXPECT_EQ(b[0]->x(), keine->x() + keine->width() + 10);
    EXPECT_EQ(b[7]->x(), b[0]->x());
    EXPECT_EQ(b[7]->y() - b[0]->y(), 60);
    EXPECT_EQ(b[14]->x(), 60);
    r.save();
    const auto& a = *r.m().AnswerData;
    EXPECT_EQ(std::vector<std::string>(a.end() - 3, a.end()),
              (std::vector<std::string>{"01.w=3", "01.a=1", "PAGE W04"}));
    // The next page holds only W04; an empty rejection row refuses it.
    EXPECT_EQ(r.page().caption(), "Seite 5 von " + std::to_string(r.m().PageCount) + "."); // W01 was on 4
    EXPECT_EQ(r.m().Page.ItemEntries.size(), 3u);
    r.click(b[0]);
    r.save();
    EXPECT_EQ(r.boxes.boxes.back().text, "Bitte alle Eingabefelder ausf\xFCllen.");
    r.click(b[13]);
    r.click(b[14]);
    r.save();
    EXPECT_EQ(std::vector<std::string>(a.end() - 4, a.end()),
              (std::vector<std::string>{"04.w=1", "04.a=7", "04.k=1", "PAGE W41"}));
    // The cartoon at 35, at its own size; its rating block 30 pixels below.
    ASSERT_EQ(r.m().PictureImage->parentWidget(), r.page().clientArea());
    EXPECT_EQ(r.m().PictureImage->geometry(), QRect(35, 45, 120, 90));
    EXPECT_EQ(b[0]->y(), 45 + 90 + 30 + 30);
}

TEST(Files, BreakOffResumeAfterRestartAndFinish) {
    fbtest::WorkDir dir;
    writeBytes(dir.file("00000000.bgn"), "alt\r\n");
    writeBytes(dir.file("00000002.bgn"), "alt\r\n");
    auto r = std::make_unique<Road>();
    r->m().NeuerBogen1Click();
    r->breakOff(); // nothing recorded yet
    EXPECT_EQ(r->m().menumemo->lines().back(), "Bereit.");
    EXPECT_EQ(r->m().menumemo->lines().end()[-2], "Eingabe abgebrochen.");
    EXPECT_FALSE(fb::fileExists("bogen.prt"));
    EXPECT_TRUE(r->m().isEnabled());
    r->m().NeuerBogen1Click();
    r->fillFirstPage();
    r->save();
    r->breakOff();
    EXPECT_EQ(readBytes(dir.file("bogen.prt")), kHeader + "\r\nName=Eva Muster\r\nEmail=eva@example.org\r\n"
                                                          "Geschlecht=2\r\nGeburt=01.02.1970\r\nPAGE Listen\r\n");
    EXPECT_TRUE(r->m().FortButton->isEnabled());
    r->restart();
    EXPECT_TRUE(r->m().ProgressSaved);
    r->m().FortButton->click();
    EXPECT_EQ(r->page().caption(), "Seite 2 von " + std::to_string(r->m().PageCount) + ".");
    // Resumed and broken off again before saving: the same content.
    r->breakOff();
    EXPECT_EQ(readBytes(dir.file("bogen.prt")).substr(0, 10), "recipient=");
    r->m().Fortfahren1Click();
    r->c().PageRadioGroups[0]->setItemIndex(12);
    r->c().PageListBoxes[0]->setSelected(0, true);
    r->c().PageListBoxes[1]->setSelected(0, true);
    r->c().PageListBoxes[1]->setSelected(2, true);
    r->c().PageCheckBoxes[27]->setMark(true);
    r->save();
    r->save(); // "Leer"
    r->c().PageCheckBoxes[6]->setMark(true);
    r->c().PageCheckBoxes[7]->setMark(true);
    r->save();
    r->c().PageCheckBoxes[0]->setMark(true);
    r->c().PageCheckBoxes[7]->setMark(true);
    r->save();
    r->c().PageCheckBoxes[1]->setMark(true);
    r->c().PageCheckBoxes[8]->setMark(true);
    r->save();
    r->c().PageEdits[0]->setCaption("Sch\xF6n & gut = 100%");
    r->c().PageCheckBoxes[23]->setMark(true);
    r->c().PageRadioGroups[0]->setItemIndex(0);
    r->save();
    // Finished: the first free number, one line, the end message, the dialog.
    EXPECT_FALSE(r->page().isVisible());
    EXPECT_FALSE(fb::fileExists("bogen.prt"));
    EXPECT_FALSE(r->m().ProgressSaved);
    EXPECT_FALSE(r->m().FortButton->isEnabled());
    EXPECT_TRUE(r->m().AnswerData->empty());
    const std::string expected =
        kHeader + "&Name=Eva Muster&Email=eva@example.org&Geschlecht=2&Geburt=01.02.1970&Viele=13&Land=0"
                  "&Was=5&Btg=28&01.w=7&01.a=1&04.w=1&04.a=1&41.w=2&41.a=2&Komm=Sch\xF6n & gut = 100%"
                  "&Fuehlz=24&Ffragen=1\r\n";
    EXPECT_EQ(readBytes(dir.file("00000001.bgn")), expected);
    const auto& box = r->boxes.boxes.back();
    EXPECT_EQ(box.caption, fb::applicationTitle());
    EXPECT_EQ(box.text,
              "Sie haben alle Fragen beantwortet. Ihre Antworten wurden in der Datei 00000001.BGN gespeichert.\r\n\r\n"
              "Wenn Sie eine aktive Internet-Verbindung haben, k\xF6nnen Sie den Bogen mittels des folgenden Dialogs "
              "direkt an unseren Server einsenden. Sie k\xF6nnen dies auch zu einem sp\xE4teren Zeitpunkt tun, oder "
              "die Datei als Email-Attachment an humor-studie@localhost senden.");
    EXPECT_EQ(r->m().menumemo->lastLine(), "Bogen beendet. Bereit zum Senden.");
    TFormSenden& send = *r->program->FormSenden;
    EXPECT_TRUE(send.isVisible());
    EXPECT_FALSE(r->m().isEnabled());
    // "alt" in file 0 is one line, unsent: it is offered first.
    EXPECT_EQ(send.Dateiname->caption(), "00000000.bgn");
    send.Button3->click();
    EXPECT_TRUE(r->m().isEnabled());
    EXPECT_FALSE(send.isVisible());
}

TEST(Files, ConfirmedNewQuestionnaireKeepsTheOldProgressFile) {
    fbtest::WorkDir dir;
    writeBytes(dir.file("bogen.prt"), kHeader + "\r\nName=Alt\r\nPAGE Listen\r\n");
    Road r;
    r.boxes.answers = {fb::BoxAnswer::Cancel};
    r.m().NeuerBogen1Click();
    EXPECT_FALSE(r.page().isVisible());
    EXPECT_TRUE(r.m().ProgressSaved);
    r.m().NeuerBogen1Click(); // OK this time
    EXPECT_EQ(r.boxes.boxes.back().buttons, fb::BoxButtons::OkCancel);
    EXPECT_FALSE(r.m().ProgressSaved);
    EXPECT_FALSE(r.m().FortButton->isEnabled());
    EXPECT_EQ(r.page().caption(), "Seite 1 von " + std::to_string(r.m().PageCount) + ".");
    r.breakOff();
    EXPECT_EQ(readBytes(dir.file("bogen.prt")), kHeader + "\r\nName=Alt\r\nPAGE Listen\r\n");
    r.restart();
    EXPECT_TRUE(r.m().FortButton->isEnabled());
}

TEST(Files, AFailedWriteLosesNothingAndCanBeRetried) {
    fbtest::WorkDir dir;
    writeBytes(dir.file("bogen.prt"), kHeader + "\r\nName=x\r\nPAGE Ende\r\n");
    Road r;
    r.m().Fortfahren1Click();
    r.c().PageEdits[0]->setCaption(".");
    r.c().PageCheckBoxes[0]->setMark(true);
    r.c().PageRadioGroups[0]->setItemIndex(1);
    fb::setWriteCall([](int, const char*, std::size_t) -> long {
        errno = ENOSPC;
        return -1;
    });
    r.save();
    fb::setWriteCall(nullptr);
    ASSERT_FALSE(r.boxes.boxes.empty());
    EXPECT_NE(r.boxes.boxes.back().text.find("\"00000000.bgn\""), std::string::npos);
    EXPECT_EQ(r.boxes.boxes.back().icon, fb::BoxIcon::Error);
    EXPECT_TRUE(r.page().isVisible());
    EXPECT_EQ(r.m().Page.ItemEntries.size(), 3u);
    EXPECT_EQ(*r.m().AnswerData, (std::vector<std::string>{kHeader, "Name=x", "PAGE Ende"}));
    EXPECT_FALSE(fb::fileExists("00000000.bgn"));
    // Breaking off after the failure keeps the resume point.
    fb::setWriteCall([](int, const char*, std::size_t) -> long {
        errno = EIO;
        return -1;
    });
    r.breakOff();
    fb::setWriteCall(nullptr);
    EXPECT_TRUE(r.page().isVisible());
    EXPECT_EQ(readBytes(dir.file("bogen.prt")), kHeader + "\r\nName=x\r\nPAGE Ende\r\n");
    r.save();
    EXPECT_EQ(readBytes(dir.file("00000000.bgn")), kHeader + "&Name=x&Komm=.&Fuehlz=1&Ffragen=2\r\n");
}

TEST(Files, StartUpRemovesTheTemporariesOfAKilledRun) {
    fbtest::WorkDir dir;
    writeBytes(dir.file("~fragebogen-3f2a9c0b1d4e5f60.tmp"), kHeader + "&Name=x\r\n");
    writeBytes(dir.file("~fragebogen-notours.tmp"), "keep");
    writeBytes(dir.file("bogen.prt"), kHeader + "\r\nPAGE Ende\r\n");
    Road r;
    EXPECT_FALSE(fbtest::fileExistsAt(dir.file("~fragebogen-3f2a9c0b1d4e5f60.tmp")));
    EXPECT_EQ(readBytes(dir.file("~fragebogen-notours.tmp")), "keep");
    EXPECT_TRUE(r.m().ProgressSaved);
}

TEST(Answers, AChoiceThatCannotBeRecordedKeepsTheRecordedAnswers) {
    fbtest::WorkDir dir;
    writeBytes(dir.file("bogen.prt"), kHeader + "\r\nName=x\r\nPAGE Listen\r\n");
    Road r;
    r.m().Fortfahren1Click();
    r.c().PageRadioGroups[0]->setItemIndex(0);
    r.c().PageListBoxes[0]->setSelected(1, true);
    r.c().PageCheckBoxes[3]->setMark(true);
    // A replaced script's MULTI list longer than its value holds.
    fb::ListBox* multi = r.c().PageListBoxes[1];
    while (multi->count() < 70)
        multi->addItem("mehr");
    multi->setSelected(66, true);
    r.save();
    ASSERT_FALSE(r.boxes.boxes.empty());
    EXPECT_EQ(r.boxes.boxes.back().text,
              "Entry 67 of \"Was\" cannot be recorded: a choice list holds at most 64 entries");
    EXPECT_EQ(*r.m().AnswerData, (std::vector<std::string>{kHeader, "Name=x", "PAGE Listen"}));
    EXPECT_TRUE(r.page().isVisible());
    multi->setSelected(66, false);
    multi->setSelected(63, true);
    r.save();
    const auto& a = *r.m().AnswerData;
    EXPECT_EQ(std::vector<std::string>(a.begin(), a.begin() + 2), (std::vector<std::string>{kHeader, "Name=x"}));
    EXPECT_EQ(a.at(4), "Was=9223372036854775808");
}

TEST(PageBuild, ABrokenPageReportsAndOffersTheWayBack) {
    fbtest::WorkDir dir;
    writeBytes(dir.file("bogen.prt"), kHeader + "\r\nPAGE Gibtsnicht\r\n");
    Road r;
    r.m().FortButton->click();
    ASSERT_FALSE(r.boxes.boxes.empty());
    EXPECT_EQ(r.boxes.boxes.back().text, "List index out of bounds (-1)");
    EXPECT_FALSE(r.page().SpeichernButton->isEnabled());
    EXPECT_EQ(r.page().AbbrechenButton->y(), 45);
    r.breakOff();
    EXPECT_TRUE(r.m().isEnabled());
    EXPECT_EQ(readBytes(dir.file("bogen.prt")), kHeader + "\r\nPAGE Gibtsnicht\r\n");
}

TEST(SendDialog, FileChoiceAndStates) {
    fbtest::WorkDir dir;
    Road r;
    TFormSenden& s = *r.program->FormSenden;
    s.show();
    EXPECT_EQ(s.Dateiname->caption(), "");
    EXPECT_EQ(s.NameLabel->caption(), "-");
    writeBytes(dir.file("00000000.bgn"), kHeader + "&Name=Eva Maria&Email=e@x.de&Geschlecht=1\r\nDaten erfolgreich gesendet.\r\n");
    writeBytes(dir.file("00000001.bgn"), kHeader + "&Name=Max&Email=m@x.de&Geschlecht=2\r\n");
    writeBytes(dir.file("00000002.bgn"), "a\r\nb\r\nc\r\n");
    s.hide();
    s.show();
    EXPECT_EQ(s.Dateiname->caption(), "00000001.bgn");
    EXPECT_EQ(s.NameLabel->caption(), "Max");
    EXPECT_EQ(s.Maillabel->caption(), "m@x.de");
    EXPECT_EQ(s.Warnung->caption(), "");
    EXPECT_TRUE(s.Button1->isEnabled());
    EXPECT_TRUE(r.m().Abesn1->isEnabled());
    s.Dateiname->setCaption("00000000.bgn");
    EXPECT_EQ(s.NameLabel->caption(), "Eva Maria");
    EXPECT_EQ(s.Warnung->caption(), "Diese Datei wurde bereits gesendet.");
    EXPECT_FALSE(s.Button1->isEnabled());
    s.Dateiname->setCaption("00000002.bgn");
    EXPECT_EQ(s.Warnung->caption(), "Diese Datei ist defekt.");
    EXPECT_EQ(s.NameLabel->caption(), "Eva Maria");
    s.Dateiname->setCaption("00000001.bgn");
    s.Dateiname->setCaption("gibtsnicht.bgn");
    EXPECT_EQ(s.Warnung->caption(), "keine Datei");
    EXPECT_EQ(s.NameLabel->caption(), "n/a");
    EXPECT_TRUE(s.Button1->isEnabled());
    // "Wählen": the dialog's title, filter and extension; the chosen path.
    r.boxes.files = {dir.file("00000001.bgn"), std::nullopt};
    s.Button2->click();
    ASSERT_EQ(r.boxes.fileRequests.size(), 1u);
    EXPECT_EQ(r.boxes.fileRequests[0].title, "Bitte w\xE4hlen Sie eine Antwortdatei");
    EXPECT_EQ(r.boxes.fileRequests[0].filter, "Fragebogen Daten Datei (*.bgn)|*.bgn");
    EXPECT_EQ(r.boxes.fileRequests[0].defaultExt, "bgn");
    EXPECT_EQ(s.Dateiname->caption(), dir.file("00000001.bgn"));
    EXPECT_EQ(s.NameLabel->caption(), "Max");
    s.Button2->click();
    EXPECT_EQ(s.Dateiname->caption(), dir.file("00000001.bgn"));
    // Only file 0 sent and nothing else: it is offered with its warning.
    ::unlink(dir.file("00000001.bgn").c_str());
    ::unlink(dir.file("00000002.bgn").c_str());
    s.hide();
    s.show();
    EXPECT_EQ(s.Dateiname->caption(), "00000000.bgn");
    EXPECT_FALSE(s.Button1->isEnabled());
}

TEST(EditFields, TypedCharactersWindows1252LacksBecomeQuestionMarks) {
    fb::Edit e;
    e.show();
    // Typed one character at a time, as a keyboard delivers them.
    for (char32_t ch : QString::fromUtf8("Grüße €\u4e2d\U0001F600").toUcs4()) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUcs4(&ch, 1));
        QCoreApplication::sendEvent(&e, &press);
    }
    EXPECT_EQ(e.caption(), "Gr\xFC\xDF" "e \x80??");
}
