#pragma once
// The help window: three fixed texts on three tabs, loaded once at creation.
#include "platform/controls.h"
#include "platform/window.h"

#include <QTabWidget>
#include <functional>

class TFormHilfe : public fb::Form {
public:
    // load copies the named content file's bytes into a string (the main
    // window's resource loader).
    using Loader = std::function<std::string(const std::string& fileName)>;
    explicit TFormHilfe(Loader load, QWidget* parent = nullptr);

    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QWidget* TabSheet3;
    fb::Memo* Memo1;
    fb::Memo* Memo2;
    fb::Memo* Memo3;

    void FormCreate();
    void FormResize();

protected:
    void formResize() override { FormResize(); }
    void formShow() override { FormResize(); }
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Loader load_;
    bool fitting_ = false;
};
