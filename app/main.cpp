// stickwell: the fridge-magnet designer. Creates the services (fonts, the picture cache, dialogs)
// and the main window, then runs the event loop until the window closes.
#include <QApplication>
#include <QDir>
#include <QStandardPaths>

#include <memory>

#include "app/app_folders.h"
#include "app/main_window.h"
#include "platform/fonts.h"
#include "platform/qt/dialogs_qt.h"
#include "platform/settings.h"
#include "shapes/engine_start.h"
#include "storage/resources/resource_thread.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Stickwell");
  // The picture cache runs for as long as the documents do; a session ended by a signal leaves
  // none of its save files' temporaries behind.
  const std::unique_ptr<sw::TResourceThreadScope> pictureCache = sw::StartEngine();
  std::unique_ptr<sw::TFontSystem> fonts = sw::TFontSystem::CreateForMachine();
  sw::TQtDialogs dialogs(nullptr);

  sw::TMainWindowSetup setup;
  setup.Arguments = QApplication::arguments().mid(1);
  setup.Fonts = fonts.get();
  setup.Dialogs = dialogs.Services();
  setup.ProgramDir = QDir(QApplication::applicationDirPath()).absolutePath().toStdString();
  // ~/.local/share/Stickwell: the application's folder once, not under an organisation of the same name.
  setup.DataDir = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                      .filePath(QApplication::applicationName())
                      .toStdString();
  setup.BundledTemplates = sw::BundledTemplateDirs(setup.ProgramDir);
  setup.ManualDirs = sw::ManualDirs(setup.ProgramDir);
  // The settings stickwell-cli reads too (the used positions of each template's sheet).
  sw::TFileSettings settings(sw::DefaultSettingsFile());
  setup.Settings = &settings;

  sw::TFStickwellMain window(setup);
  window.show();
  return QApplication::exec();
}
