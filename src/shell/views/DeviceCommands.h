// The commands that act on one opened database, chosen as a top-level item
// of the device tree: close it, rebuild its table items, or scan its file
// for pictures, movies or databases. They come from the main menu and
// toolbar (through the main frame) and from the tree's "Device" context
// menu, run on the user-interface thread and obey the busy rule.
#pragma once

#include <cstdint>

#include "engine/DbInfo.h"
#include "platform/WindowMessage.h"

class CSalvixLeftTreeCtrl;

class CDeviceCommands {
public:
    // Context-menu numbers of the commands the main menu also carries.
    static constexpr UINT ID_CONTEXT_SCAN_PICTURES = 32853;
    static constexpr UINT ID_CONTEXT_SCAN_MOVIES = 32854;
    static constexpr UINT ID_CONTEXT_CLOSE_SOURCE = 32863;
    static constexpr UINT ID_REFRESH_SOURCE = 32891;

    explicit CDeviceCommands(CSalvixLeftTreeCtrl& tree) : m_tree(tree) {}

    // Runs close, refresh or a scan; false for any other command.
    bool OnCommand(UINT nID);

    void OnCloseSource();
    void OnRefreshSource();
    void OnScanPictures();
    void OnScanMovies();
    // Reopens the selected database with or without its write-ahead log;
    // its table windows close first, as for a close.
    void OnApplyWal(bool withWal);
    // Lists the frames of the selected database's log in "WAL帧".
    void OnLogFrames();

private:
    // The database of the selected top-level item; null (with a warning)
    // when none is selected.
    DbInfo* SelectedDb();
    DbInfo* SelectedDbWithLog();
    void OnScan(std::int32_t mode);
    // Closes the table windows opened for the database `dbId`.
    void CloseTableWindows(std::int64_t dbId);
    HWND LogWnd() const;

    CSalvixLeftTreeCtrl& m_tree;
};
