#include "platform/qt/clipboard_qt.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QString>

namespace sw {

void TQtClipboard::SetText(const std::string& text) {
  QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

std::string TQtClipboard::Text() const {
  return QGuiApplication::clipboard()->text().toStdString();
}

bool TQtClipboard::HasText() const {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data && data->hasText();
}

}  // namespace sw
