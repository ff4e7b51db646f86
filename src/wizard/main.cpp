// main.cpp: the wizard program vandrel; everything but the application object is vandrel_run's.
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
    return vandrel_run(arguments.join(' '), prompts);
}
