#include "OrginalFrm.h"

#include "app/TextFit.h"
#include "catalogue/Indexer.h"
#include "support/Dialogs.h"
#include "support/Funky.h"
#include "support/ReadFile.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>

#include <algorithm>

namespace bw {

TOrginalF::TOrginalF(QWidget* mainWindow)
    : SecondaryWindow(mainWindow, QStringLiteral("TOrginalF"), QStringLiteral("Orginalgröße"), {112, 80},
                      Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, true)
    , Image1(new QLabel(this))
{
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->move(0, 0);
}

void TOrginalF::loadPicture(const std::string& path)
{
    // Opened by its bytes: a name that is not UTF-8 would not survive a trip through text.
    const std::optional<QByteArray> bytes = readWholeFile(path);
    if (!bytes)
        throw CommandError(QStringLiteral("Datei ") + pathText(path) + QStringLiteral(" kann nicht geöffnet werden"));
    QBuffer file;
    file.setData(*bytes);
    file.open(QIODevice::ReadOnly);
    QImageReader reader(&file, "BMP");
    const QImage picture = reader.read();
    if (picture.isNull())
        throw CommandError(QStringLiteral("Bitmap ist ungültig"));
    Image1->setPixmap(QPixmap::fromImage(picture));
    Image1->resize(picture.size());
    // A small picture leaves the caption room enough to be read.
    resize(std::max(picture.width() + 25, captionWidthNeeded(*this)), picture.height() + 25);
    const QScreen* screen = QGuiApplication::primaryScreen();
    move(centeredPosition({0, 0}, screen ? screen->size() : size(), size(), 0, 0));
}

void showOriginalSize(TOrginalF& viewer, const std::string& path)
{
    if (fileExtensionLower(path) != ".bmp") {
        dialogs().message(QStringLiteral("Orginalgröße nur bei BMP möglich."), kAppTitle);
        return;
    }
    viewer.loadPicture(path);
    viewer.exec();
}

} // namespace bw
