#pragma once
// The page window: it holds only its two buttons; every page's controls are
// built into its scrolling client area by the main window.
#include "platform/controls.h"
#include "platform/window.h"

#include <QScrollArea>

class TFormFragen : public fb::Form {
public:
    explicit TFormFragen(QWidget* parent = nullptr);
    ~TFormFragen() override;

    QWidget* clientArea() override { return content_; }
    QScrollArea* scrollArea() const { return scroll_; }
    // The scroll range follows the lowest (and rightmost) control.
    void updateScrollRange();
    void scrollToTop(); // and fully left

    fb::Button* SpeichernButton;
    fb::Button* AbbrechenButton;

protected:
    void formResize() override;

private:
    QScrollArea* scroll_;
    QWidget* content_;
};
