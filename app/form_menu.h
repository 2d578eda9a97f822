#pragma once
// The main window: logo, status memo, two buttons and the menu; the home of
// the program's own event handlers and of the objects that live for the run.
#include "engine/page_model.h"
#include "engine/script.h"
#include "net/nmhttp.h"
#include "platform/app_clock.h"
#include "platform/controls.h"
#include "platform/memory_stream.h"
#include "platform/resource_store.h"
#include "platform/window.h"

#include <QAction>
#include <QImage>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TFormFragen;
class TFormSenden;
class TFormHilfe;

class TFormMenu : public fb::Form {
public:
    explicit TFormMenu(const fb::ResourceStore& resources, QWidget* parent = nullptr);
    ~TFormMenu() override;

    // The other three windows, created after this one.
    void attachWindows(TFormFragen* fragen, TFormSenden* senden, TFormHilfe* hilfe);

    void LoadResourceFile(const std::string& FileName, fb::MemoryStream& Stream);
    void Exit1Click();
    void FormResize();
    void FormCreate();
    void FormDestroy();
    void NeuerBogen1Click();
    void Fortfahren1Click();
    void AbbruchClick(QObject* Sender);
    void WeiterClick();
    void pruefeDoppelte(fb::CheckBox* Sender);
    void Abesn1Click();
    void Hilfe1Click();
    void FormShow();
    void laufzeitClick();
    void Image1MouseMove();
    void Timer1Timer();

    // The date reminder's rule: from 1 November 2002 on.
    static bool reminderDue(const fb::LocalDate& date);

    // Controls of the layout.
    fb::Picture* Image1;
    fb::Memo* menumemo;
    fb::Button* Button1;
    fb::Button* FortButton;
    fb::Timer* Timer1;
    QMenu* Neue1;
    QAction* Hilfe1;
    QAction* Fortfahren1;
    QAction* NeuerBogen1;
    QAction* Abesn1;
    QAction* laufzeit;
    QAction* Exit1;

    // Objects owned for the whole run.
    std::unique_ptr<fb::Picture> PictureImage;
    std::unique_ptr<QImage> SavedLogo;
    std::unique_ptr<std::vector<std::string>> AnswerData;
    std::unique_ptr<fb::MemoryStream> ResourceStream;
    std::unique_ptr<fb::ScriptLines> ScriptLines;
    bool ProgressSaved = false;
    int PageCount = 0;
    fb::PageModel Page; // ItemEntries, PageControls, PageName, PageNumber, ScriptCursor

    std::unique_ptr<fb::TNMHTTP> HttpClient;
    // The study's configured server and web address (tests point them at a
    // local peer).
    std::string StudyServerHost;
    std::string StudyWebAddress;
    // Replaces the configured host for windows created afterwards (tests
    // start a server on a free port).
    static std::string& serverHostOverride();

    TFormFragen* FormFragen = nullptr;
    TFormSenden* FormSenden = nullptr;
    TFormHilfe* FormHilfe = nullptr;

    std::string headerLine() const;
    void setContinueEnabled(bool on);
    fb::Lcg& random() { return random_; }

protected:
    void formShow() override { FormShow(); }
    void formResize() override { FormResize(); }
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void finishQuestionnaire();
    const fb::ResourceStore& resources_;
    fb::Lcg random_;
};
