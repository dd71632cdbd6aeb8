#include "DirectoryWidgets.h"

#include "catalogue/Volumes.h"
#include "support/Funky.h"
#include "support/Wildcard.h"

#include <QFile>
#include <QKeyEvent>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace bw {
namespace {

std::string parentOf(const std::string& directory)
{
    if (directory.size() <= 1)
        return directory;
    const std::size_t slash = directory.rfind('/', directory.size() - 2);
    return slash == std::string::npos ? directory : directory.substr(0, slash + 1);
}

} // namespace

DriveComboBox::DriveComboBox(QWidget* parent, const QString& name) : QComboBox(parent)
{
    setObjectName(name);
    for (const Volume& v : mountedVolumes())
        addItem(v.displayName, QByteArray::fromStdString(v.root));
    m_lastIndex = currentIndex();
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index != m_lastIndex) {
            m_lastIndex = index;
            emit changed();
        }
    });
}

std::string DriveComboBox::drive() const { return currentData().toByteArray().toStdString(); }

void DriveComboBox::setDrive(const std::string& path)
{
    // The volume whose root is the longest prefix of the path.
    int best = -1;
    std::size_t bestLength = 0;
    for (int i = 0; i < count(); ++i) {
        const std::string root = itemData(i).toByteArray().toStdString();
        if (withTrailingSlash(path).starts_with(root) && root.size() >= bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    if (best >= 0)
        setCurrentIndex(best);
}

DirectoryListBox::DirectoryListBox(QWidget* parent, const QString& name) : QListWidget(parent)
{
    setObjectName(name);
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        const std::string target = item->data(Qt::UserRole).toByteArray().toStdString();
        std::error_code ec;
        if (std::filesystem::is_directory(target, ec))
            setDirectory(target);
        else
            rebuild();
    });
}

void DirectoryListBox::setDirectory(const std::string& directory)
{
    const std::string normalized = withTrailingSlash(directory);
    const bool moved = normalized != m_directory;
    m_directory = normalized;
    rebuild();
    if (moved)
        emit changed();
}

void DirectoryListBox::setDrive(const std::string& root)
{
    // Remembered only under the volume that holds it: a volume whose root is merely a prefix of
    // the directory ("/" for everything) must still move the list to itself when chosen.
    if (!m_directory.empty()) {
        const std::string holder = volumeRootOf(m_directory, mountedVolumes());
        if (!holder.empty())
            m_lastPerDrive[holder] = m_directory;
    }
    const auto remembered = m_lastPerDrive.find(root);
    setDirectory(remembered != m_lastPerDrive.end() ? remembered->second : root);
}

void DirectoryListBox::rebuild()
{
    clear();
    // Ancestors from the root down, then the directory itself, then its subdirectories.
    std::vector<std::string> chain;
    for (std::string d = m_directory;; d = parentOf(d)) {
        chain.push_back(d);
        if (parentOf(d) == d)
            break;
    }
    std::reverse(chain.begin(), chain.end());
    int depth = 0;
    for (const std::string& d : chain) {
        const std::string name = d == "/" ? d : d.substr(parentOf(d).size(), d.size() - parentOf(d).size() - 1);
        auto* item = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + pathText(name), this);
        item->setData(Qt::UserRole, QByteArray::fromStdString(d));
        ++depth;
    }
    setCurrentRow(count() - 1);
    std::vector<std::string> subdirectories;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(m_directory, ec)) {
        const std::string name = entry.path().filename().string();
        std::error_code typeError;
        if (!name.starts_with('.') && entry.is_directory(typeError) && !entry.is_symlink(typeError))
            subdirectories.push_back(name);
    }
    std::sort(subdirectories.begin(), subdirectories.end());
    for (const std::string& name : subdirectories) {
        auto* item = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + pathText(name), this);
        item->setData(Qt::UserRole, QByteArray::fromStdString(m_directory + name + "/"));
    }
}

FileListBox::FileListBox(QWidget* parent, const QString& name, const QString& mask) : QListWidget(parent), m_mask(mask)
{
    setObjectName(name);
    connect(this, &QListWidget::itemClicked, this, [this] {
        emit fileClicked();
        emit changed();
    });
    connect(this, &QListWidget::currentRowChanged, this, [this] { emit changed(); });
}

void FileListBox::setDirectory(const std::string& directory)
{
    m_directory = withTrailingSlash(directory);
    reread();
}

void FileListBox::keyPressEvent(QKeyEvent* event)
{
    // Choosing a file with the keys reads it, as a click does.
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before && currentRow() >= 0)
        emit fileClicked();
}

std::string FileListBox::selectedPath() const
{
    const QListWidgetItem* item = currentItem();
    return item ? m_directory + item->data(Qt::UserRole).toByteArray().toStdString() : std::string();
}

std::vector<std::string> FileListBox::names() const
{
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(count()));
    for (int i = 0; i < count(); ++i)
        out.push_back(item(i)->data(Qt::UserRole).toByteArray().toStdString());
    return out;
}

void FileListBox::reread()
{
    QSignalBlocker blocker(this);
    clear();
    std::vector<std::string> names;
    const QByteArray mask = m_mask.toLatin1();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(m_directory, ec)) {
        const std::string name = entry.path().filename().string();
        std::error_code typeError;
        if (entry.is_regular_file(typeError)
            && matchesAnyWildcard(name, std::string_view(mask.constData(), static_cast<std::size_t>(mask.size()))))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        auto* item = new QListWidgetItem(pathText(name), this);
        item->setData(Qt::UserRole, QByteArray::fromStdString(name));
    }
    blocker.unblock();
    emit changed();
}

} // namespace bw
