#include "app/tab_controls.h"

#include <QCheckBox>
#include <QMainWindow>
#include <QStatusBar>
#include <QLabel>
#include <QPushButton>

namespace sw {

TAdvSpinEdit* NewSpinEdit(QWidget* parent, const char* name, TSpinValueType type) {
  auto* spin = new TAdvSpinEdit(parent);
  spin->setObjectName(QString::fromLatin1(name));
  spin->SetValueType(type);
  spin->setToolTip(QStringLiteral("upper arrow: less, lower arrow: more"));
  return spin;
}

QPushButton* NewButton(QWidget* parent, const char* name, const char* caption) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

QCheckBox* NewCheckBox(QWidget* parent, const char* name, const char* caption) {
  auto* box = new QCheckBox(QString::fromLatin1(caption), parent);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

QLabel* NewCaption(QWidget* buddy, const char* text) {
  auto* label = new QLabel(QString::fromLatin1(text), buddy->parentWidget());
  label->setBuddy(buddy);
  return label;
}

void ShowPictureWarning(QWidget* widget, const std::string& warning) {
  if (warning.empty() || !widget) return;
  // The window's status line (which also shows the warning whenever it is rebuilt).
  if (auto* status = widget->window()->findChild<QLabel*>("LStatus")) {
    const QString text = QString::fromStdString("Warning: " + warning);
    if (!status->text().contains(text)) status->setText(text + "  " + status->text());
  }
}

}  // namespace sw
