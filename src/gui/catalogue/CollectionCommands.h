#pragma once

#include "fileops/Export.h"

#include <QImage>

#include <cstdint>

namespace bw {

struct AppState;
class MainWindowAccess;
class TEinleseF;

// "Sammlung speichern …": the catalogue with every icon's picture in a collection file. A file of
// that name is replaced only after a question whose default is "Nein".
void saveCollectionAs(AppState& state, MainWindowAccess& main);
// "Sammlung öffnen …": the catalogue from a collection file; its sources need not be there.
void openCollectionFile(AppState& state, MainWindowAccess& main, const TEinleseF& progress);

// For the page of an opened collection: whether entry n's source is gone or changed, and its
// stored picture then (a null image while the source is there or without a collection).
bool isDisconnected(const AppState& state, std::int32_t entry);
QImage disconnectedPicture(const AppState& state, std::int32_t entry);

// The opened collection's pictures for the copy commands: an entry whose source is gone or
// changed is written from its stored picture, or reported as gone where the file is needed.
class CollectionKeptPictures final : public KeptPictures {
public:
    explicit CollectionKeptPictures(const AppState& state) : m_state(state) {}
    std::optional<QImage> disconnected(std::int32_t n) const override;

private:
    const AppState& m_state;
};

} // namespace bw
