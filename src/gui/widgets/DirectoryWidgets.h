#pragma once

#include <QComboBox>
#include <QListWidget>

#include <map>
#include <string>
#include <vector>

namespace bw {

// The drive box: the mounted volumes. changed() comes only when the volume really changes.
class DriveComboBox : public QComboBox {
    Q_OBJECT
public:
    DriveComboBox(QWidget* parent, const QString& name);
    std::string drive() const;              // root path of the shown volume, ending in '/'
    void setDrive(const std::string& root); // the volume holding root
    // Raises the change notification for the volume shown at creation.
    void reportInitialDrive() { emit changed(); }

signals:
    void changed();

private:
    int m_lastIndex = -1;
};

// The directory list: the ancestors of the current directory, the directory itself, and its
// subdirectories (hidden ones left out). A double click opens an entry; one that is gone since the
// list was built only brings the list up to date.
class DirectoryListBox : public QListWidget {
    Q_OBJECT
public:
    DirectoryListBox(QWidget* parent, const QString& name);
    const std::string& directory() const { return m_directory; } // ends in '/'
    // Shows the directory with the subdirectories it holds now; changed() follows when it differs
    // from the one shown.
    void setDirectory(const std::string& directory);
    // Moves to the directory last shown on that volume, or its root.
    void setDrive(const std::string& root);
    // Lists the directory again: subdirectories made or removed since show up.
    void refresh() { rebuild(); }

signals:
    void changed();

private:
    void rebuild();
    std::string m_directory;
    std::map<std::string, std::string> m_lastPerDrive;
};

// The file list: the names in a directory that match a mask ("*.ico;*.dll"), hidden ones
// included, sorted. fileClicked() when the user selects a file, changed() after every re-read or
// change of the selection.
class FileListBox : public QListWidget {
    Q_OBJECT
public:
    FileListBox(QWidget* parent, const QString& name, const QString& mask);
    void setDirectory(const std::string& directory);
    const std::string& directory() const { return m_directory; }
    QString mask() const { return m_mask; }
    std::string selectedPath() const;
    // The names shown, as bytes, in the list's order.
    std::vector<std::string> names() const;
    // Reads the directory again.
    void refresh() { reread(); }

signals:
    void fileClicked();
    void changed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void reread();
    std::string m_directory;
    QString m_mask;
};

} // namespace bw
