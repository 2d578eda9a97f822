// What a participant sees and does on the real pages: the embedded jokes
// wrapped at the page's width, one-line answers that stay one line, the look
// of disabled controls and the order of the focus stops.
#include "app/application.h"
#include "app/form_menu.h"
#include "app/working_folder.h"
#include "content/embedded.h"
#include "engine/form_fragen.h"
#include "engine/page_builder.h"
#include "engine/text_lines.h"
#include "submit/form_senden.h"
#include "tests/support/replaced_script_store.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_env.h"

#include <QClipboard>
#include <QDropEvent>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#include <algorithm>
#include <unistd.h>

namespace {

struct Session {
    fbtest::ScriptedDialogs boxes;
    std::unique_ptr<fb::Program> program;
    explicit Session(const fb::ResourceStore& store = fb::embeddedResources()) {
        fb::setDateSource([] { return fb::LocalDate{2002, 10, 1}; });
        program = std::make_unique<fb::Program>(store);
        program->show();
    }
    ~Session() {
        program.reset();
        fb::setDateSource(nullptr);
    }
    TFormMenu& m() { return *program->FormMenu; }
    TFormFragen& page() { return *program->FormFragen; }
    fb::PageControls& c() { return m().Page.Controls; }
    // Builds the page with the given name, as a resume would.
    void open(const std::string& name) {
        fb::teardownPage(m().Page, *m().PictureImage);
        m().AnswerData->assign({"recipient=x", "PAGE " + name});
        m().Fortfahren1Click();
    }
};

// The names of the pages that hold a joke: the page a joke is found on is
// named after the joke, except for the first, which opens a page of its own.
std::vector<std::pair<std::string, std::string>> jokePages(const fb::ScriptLines& lines) {
    std::vector<std::pair<std::string, std::string>> pages; // page, joke item
    std::string pageName;
    for (const std::string& l : lines.all()) {
        if (fb::startsWith(l, "PAGE "))
            pageName = l.substr(5);
        else if (fb::startsWith(l, "SKALA.W")) {
            const std::string item = l.substr(9);
            if (fb::startsWith(l, "SKALA.WT"))
                pages.emplace_back(pageName.empty() ? item : pageName, item);
            pageName.clear();
        }
    }
    return pages;
}

void expectJokesWrapped(int W) {
    fbtest::WorkDir dir;
    Session s;
    s.page().setOuterSize(W, 508);
    QCoreApplication::processEvents();
    const auto pages = jokePages(*s.m().ScriptLines);
    ASSERT_EQ(pages.size(), 40u);
    for (const auto& [name, item] : pages) {
        SCOPED_TRACE(item + " at W = " + std::to_string(W));
        s.open(name);
        ASSERT_EQ(s.m().Page.ItemEntries.front().Line, "SKALA.WT " + item + ".w");
        fb::Label* joke = s.c().PageLabels.at(0);
        ASSERT_TRUE(joke->wordWrap());
        const QString text = joke->text();
        ASSERT_GT(text.size(), 20);
        EXPECT_EQ(joke->geometry().topLeft(), QPoint(60, 45));
        EXPECT_EQ(joke->width(), W - 140);
        // The whole text fits the label: wrapped at its width, no line is
        // wider and all lines are within its height.
        const QRect needed = joke->fontMetrics().boundingRect(QRect(0, 0, W - 140, 1 << 20),
                                                              Qt::TextWordWrap | Qt::AlignLeft, text);
        EXPECT_LE(needed.width(), W - 140);
        EXPECT_GE(joke->height(), needed.height());
        EXPECT_GE(joke->height(), joke->heightForWidth(joke->width()));
        // The rating block starts 30 below the label, and the page needs no
        // sideways scrolling.
        EXPECT_EQ(s.c().PageLabels.at(1)->y(), joke->geometry().bottom() + 1 + 30 + 10);
        EXPECT_LE(joke->geometry().right() + 1, s.page().scrollArea()->viewport()->width());
        QCoreApplication::processEvents();
        EXPECT_EQ(s.page().scrollArea()->horizontalScrollBar()->maximum(), 0);
    }
}

} // namespace

TEST(Jokes, EveryEmbeddedJokeIsWrappedAtThePageWidth) { expectJokesWrapped(571); }
// Windows are kept on the screen, and the offscreen screen is 800 wide.
TEST(Jokes, WrappedAtAWiderWindowToo) { expectJokesWrapped(780); }

TEST(Jokes, ATextChangeOfAnUnwrappedLabelRefitsIt) {
    fb::Label l;
    l.setWordWrap(false);
    l.setLabelWidth(50); // stands until the text changes
    EXPECT_EQ(l.width(), 50);
    l.setCaption("eine Zeile\r\neine viel l\xE4ngere Zeile");
    EXPECT_EQ(l.width(), l.fontMetrics().horizontalAdvance(QString::fromUtf8("eine viel längere Zeile")));
    EXPECT_EQ(l.height(), 2 * l.fontMetrics().height());
}

// ------------------------------------------------------------ one-line edits

namespace {
const std::string kTwoTexts = "PAGE Eins\r\n\r\nTEXT Name\r\nIhr Name?\r\n\r\nTEXT Email\r\nIhre E-Mail-Adresse?\r\n";

const fb::ResourceStore& twoTextStore() {
    static const fbtest::ReplacedScriptStore s(kTwoTexts);
    return s.store();
}

void drop(QWidget* target, const QString& text) {
    QMimeData data;
    data.setText(text);
    const QPointF at(target->width() - 2, target->height() / 2);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDragMoveEvent move(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &move);
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &dropped);
}
} // namespace

TEST(OneLineEdits, APastedTextKeepsAllItsLinesJoinedByBlanks) {
    fb::Edit e;
    e.show();
    e.setCaption("Eva");
    e.setCursorPosition(1);
    QGuiApplication::clipboard()->setText(QString::fromUtf8("lise\r\nMaria\nMuster "));
    e.paste();
    EXPECT_EQ(e.caption(), "Elise Maria Muster va");
    EXPECT_EQ(e.cursorPosition(), 19);
    e.selectAll();
    QGuiApplication::clipboard()->setText(QString::fromUtf8("J\u00FCrgen\r\rM\u00FCller"));
    e.paste();
    EXPECT_EQ(e.caption(), "J\xFCrgen M\xFCller");
    // Other control characters become blanks, what Windows-1252 lacks '?'.
    for (const char* bad : {"\ta\x01\x7F", "\xE4\xB8\xAD"}) {
        QGuiApplication::clipboard()->setText(QString::fromUtf8(bad));
        e.paste();
    }
    EXPECT_EQ(e.caption(), "J\xFCrgen M\xFCller a  ?");
    // A drop takes the same way.
    e.clear();
    drop(&e, "Zeile eins\r\nZeile zwei");
    EXPECT_EQ(e.caption(), "Zeile eins Zeile zwei");
}

TEST(OneLineEdits, APastedTwoLineAnswerGivesAOneLineAnswerFile) {
    fbtest::WorkDir dir;
    Session s(twoTextStore());
    s.m().NeuerBogen1Click();
    ASSERT_EQ(s.c().PageEdits.size(), 2u);
    QGuiApplication::clipboard()->setText("Eva Muster\r\nHauptstr. 1");
    s.c().PageEdits[0]->paste();
    drop(s.c().PageEdits[1], "eva@example.org\nzweite Zeile");
    s.page().SpeichernButton->click();
    const std::string file = fbtest::readBytes(dir.file("00000000.bgn"));
    EXPECT_EQ(file, "recipient=humor-studie@localhost&subject=Bogendaten&Name=Eva Muster Hauptstr. 1"
                    "&Email=eva@example.org zweite Zeile\r\n");
    // The send dialog reads it as one unsent answer and offers the upload.
    TFormSenden& send = *s.program->FormSenden;
    ASSERT_TRUE(send.isVisible());
    EXPECT_EQ(send.Dateiname->caption(), "00000000.bgn");
    EXPECT_EQ(send.NameLabel->caption(), "Eva Muster Hauptstr. 1");
    EXPECT_EQ(send.Warnung->caption(), "");
    EXPECT_TRUE(send.Button1->isEnabled());
    send.Button3->click();
}

// ------------------------------------------------------------ looks

namespace {
int redPixels(QWidget* w) {
    const QImage img = w->grab().toImage();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            n += c.red() > 170 && c.green() < 90 && c.blue() < 90;
        }
    return n;
}
} // namespace

TEST(Looks, RedButtonTextOnlyWhileEnabled) {
    fbtest::WorkDir dir;
    Session s;
    fb::Button* neu = s.m().Button1;
    fb::Button* fort = s.m().FortButton;
    ASSERT_TRUE(neu->isEnabled());
    ASSERT_FALSE(fort->isEnabled());
    EXPECT_EQ(neu->palette().color(QPalette::Active, QPalette::ButtonText), QColor(Qt::red));
    EXPECT_GT(redPixels(neu), 5);
    // Disabled, the system's disabled text colour and no red at all.
    QPushButton plain;
    EXPECT_EQ(fort->palette().color(QPalette::Disabled, QPalette::ButtonText),
              plain.palette().color(QPalette::Disabled, QPalette::ButtonText));
    EXPECT_EQ(redPixels(fort), 0);
    fort->setEnabled(true);
    EXPECT_GT(redPixels(fort), 5);
}

TEST(Looks, TheLogoStaysAsDrawnWhileTheMainWindowIsDisabled) {
    fbtest::WorkDir dir;
    Session s;
    fb::Picture* logo = s.m().Image1;
    // The part of the logo inside the control (the memo covers the rest).
    const QRect visible = logo->image().rect() & logo->rect();
    const QImage drawn = logo->image().convertToFormat(QImage::Format_RGB32).copy(visible);
    ASSERT_FALSE(drawn.isNull());
    auto shown = [&] { return logo->grab().toImage().convertToFormat(QImage::Format_RGB32).copy(visible); };
    EXPECT_EQ(shown(), drawn);
    s.m().NeuerBogen1Click(); // the page window disables the main window
    ASSERT_FALSE(logo->isEnabled());
    EXPECT_EQ(shown(), drawn);
}

// ------------------------------------------------------------ focus stops

namespace {
// The focus stops met by pressing Tab from "Speichern" until it comes back,
// each given as the page control it belongs to.
std::vector<QWidget*> tabStops(Session& s) {
    std::vector<QWidget*> stops;
    s.page().activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&s.page()));
    s.page().SpeichernButton->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 200; ++i) {
        QWidget* f = QApplication::focusWidget();
        if (!f || (i > 0 && f == s.page().SpeichernButton))
            break;
        QWidget* owner = f;
        for (fb::RadioGroup* g : s.c().PageRadioGroups)
            if (g->isAncestorOf(f))
                owner = g;
        if (stops.empty() || stops.back() != owner)
            stops.push_back(owner);
        QTest::keyClick(f, Qt::Key_Tab);
    }
    return stops;
}
} // namespace

// The controls that take the focus by Tab, along the focus chain from w.
std::vector<QWidget*> focusChain(QWidget* w) {
    std::vector<QWidget*> out;
    for (QWidget* f = w; f && (out.empty() || f != w); f = f->nextInFocusChain())
        if ((f->focusPolicy() & Qt::TabFocus) && f->isVisible() && f->isEnabled())
            out.push_back(f);
    return out;
}

TEST(FocusStops, ThePageAsItIsReadThenTheButtons) {
    fbtest::WorkDir dir;
    Session s;
    s.m().NeuerBogen1Click(); // Name, Email, Geschlecht, Geburt
    auto& c = s.c();
    ASSERT_EQ(c.PageEdits.size(), 3u);
    ASSERT_EQ(c.PageRadioGroups.size(), 1u);
    EXPECT_EQ(tabStops(s), (std::vector<QWidget*>{s.page().SpeichernButton, c.PageEdits[0], c.PageEdits[1],
                                                  c.PageRadioGroups[0], c.PageEdits[2],
                                                  s.page().AbbrechenButton}));
    // A rating page row by row ("War mir bekannt." below both rows), an hour
    // scale left to right, each first on its page; the buttons last. The
    // boxes are still made pairwise by column.
    for (const auto& [name, boxes] : {std::pair{"W16", 15}, std::pair{"MornEven1", 28}}) {
        SCOPED_TRACE(name);
        s.open(name);
        const std::vector<QWidget*> chain = focusChain(c.PageCheckBoxes[0]);
        ASSERT_GE(chain.size(), boxes + 2u);
        EXPECT_TRUE(std::equal(chain.begin(), chain.begin() + boxes, c.PageCheckBoxes.begin()));
        EXPECT_EQ(chain.end()[-2], s.page().AbbrechenButton);
        EXPECT_EQ(chain.end()[-1], s.page().SpeichernButton);
    }
}

// ------------------------------------------------------------ working folder

TEST(WorkingFolder, TheDesktopFolderIsCreatedAndEntered) {
    fbtest::WorkDir dir;
#ifdef _WIN32
    const char* homeVariable = "USERPROFILE";
    const std::string home = QDir::toNativeSeparators(QString::fromStdString(dir.path())).toStdString();
    const char separator = '\\';
#else
    const char* homeVariable = "HOME";
    const std::string home = dir.path();
    const char separator = '/';
#endif
    const QByteArray oldHome = qgetenv(homeVariable);
    qputenv(homeVariable, QByteArray::fromStdString(home + separator));
    const std::string folder = fb::desktopWorkingFolder();
    EXPECT_EQ(folder, home + separator + "Fragebogen");
    EXPECT_EQ(fb::enterWorkingFolder(folder), "");
    EXPECT_EQ(QDir::currentPath().toStdString(), QDir(QString::fromStdString(folder)).canonicalPath().toStdString());
    // An existing folder is used as it is, with its files.
    fbtest::writeBytes(folder + "/bogen.prt", "x\r\n");
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    EXPECT_EQ(fb::enterWorkingFolder(folder), "");
    EXPECT_TRUE(fbtest::fileExistsAt("bogen.prt"));
    // A file in its place is reported, and the directory stays.
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    fbtest::writeBytes(dir.file("Datei"), "");
    const std::string error = fb::enterWorkingFolder(dir.file("Datei"));
    // Appended piece by piece: GCC 12 warns wrongly about "..." + string.
    std::string quoted = "\"";
    quoted.append(dir.file("Datei")).append("\"");
    EXPECT_NE(error.find(quoted), std::string::npos) << error;
    EXPECT_EQ(QDir::currentPath(), QDir(QString::fromStdString(dir.path())).canonicalPath());
    qputenv(homeVariable, oldHome);
}

TEST(WorkingFolder, TheDesktopEntryStartsTheProgramInIt) {
    QFile entry(QStringLiteral(FB_SOURCE_DIR "/app/fragebogen.desktop.in"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=fragebogen ") + fb::kDesktopOption + "\n")) << text.toStdString();
}
