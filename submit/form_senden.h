#pragma once
// The send dialog: picks an answer file, shows whose answers it holds and
// whether it can still be sent, and uploads it.
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/window.h"

#include <functional>

class TFormMenu;

class TFormSenden : public fb::Form {
public:
    explicit TFormSenden(TFormMenu* menu, QWidget* parent = nullptr);

    void DateinameChange();
    void Button3Click();
    void Button2Click();
    void Button1Click();
    void FormShow();

    fb::Label* Label1;
    fb::Edit* Dateiname;
    fb::Button* Button2;
    fb::Label* Label2;
    fb::Label* NameLabel;
    fb::Label* Label3;
    fb::Label* Maillabel;
    fb::Label* Warnung;
    fb::Button* Button1;
    fb::Button* Button3;
    fb::OpenFileRequest OpenDialog1;

    // The answer file name for number n: eight digits and ".bgn".
    static std::string answerFileName(int n);

protected:
    void formShow() override { FormShow(); }

private:
    TFormMenu* menu_;
};
