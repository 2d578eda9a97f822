#pragma once
// The program's start: the application title and the four windows, created
// hidden in their fixed order, and torn down again at the end.
#include "platform/error_report.h"
#include "platform/resource_store.h"

#include <memory>
#include <string>

class TFormMenu;
class TFormFragen;
class TFormSenden;
class TFormHilfe;

namespace fb {

const ResourceStore& embeddedProgramResources();
std::string versionText();
std::string applicationTitleText();

class Program {
public:
    explicit Program(const ResourceStore& resources);
    ~Program();
    void show(); // shows the main window; closing it ends the loop

    TFormMenu* FormMenu;
    TFormFragen* FormFragen;
    TFormSenden* FormSenden;
    TFormHilfe* FormHilfe;
};

} // namespace fb
