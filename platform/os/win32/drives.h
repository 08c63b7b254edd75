// Drives and folders of Windows as the drive and folder lists show them, any path length.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm::win32 {

// The drives present, as specs ("A:", "C:", ...), in letter order.
std::vector<std::string> driveSpecs();

// Whether `spec` ("C:") names a drive that is present.
bool driveExists(std::string_view spec);

// What the drive list shows for a drive: its spec, and for a fixed drive its volume label
// in brackets. Removable and network drives are not asked: asking may wait on them.
std::wstring driveCaption(const std::string& spec);

// The process's current folder.
std::wstring currentFolder();

// The folder that `path` names, absolute and without a trailing separator (a drive root
// keeps its "\"); a bare drive spec "X:" names drive X's current folder. Throws
// RuntimeError 68 for a drive that is not there, 71 for one not ready, 76 for a path that
// is no folder, and the number of any other cause.
std::wstring folderOf(std::string_view path);

// The names of a folder's subfolders, sorted as the system compares names; a folder that
// cannot be listed throws the error its cause stands for.
std::vector<std::wstring> subfoldersOf(const std::wstring& folder);

}  // namespace qm::win32
