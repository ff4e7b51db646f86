// main.cpp: the wizard program vandrel; everything but the application object is vandrel_run's.
#include "mss/mss_fast_load.h"
#include "wizard/vandrel_app.h"
#include "wizard/wizard_prompts.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    // Qt has taken its own options; whatever is left, joined by blanks, is a profile path.
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    wizard_prompts prompts;
    const int code = vandrel_run(arguments.join(' '), prompts);
    if (mss_fast_load::left_behind())
    {
        // A load given up on a silent server left its thread in the driver, which may come out
        // at any moment: the program ends without destroying what that thread may still use.
        prompts.end_process(code);
    }
    return code;
}
