// Learns a destination volume's limits from its file-system name and free space.
#include "limits.h"

#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <cwctype>

#include "os/win32/handle.h"
#include "os/win32/wide.h"
#include "create_error.h"
#include "errors.h"
#include "temporaries.h"
#include "utf8.h"

namespace qm::win32 {

namespace {

constexpr std::uint64_t kFatFileLimit = (std::uint64_t{4} << 30) - 1;

// The root of the volume that holds `folder`, with its trailing separator.
std::wstring volumeRoot(const std::wstring& folder) {
  wchar_t root[MAX_PATH + 1] = L"";
  if (!GetVolumePathNameW(folder.c_str(), root, MAX_PATH)) return L"";
  return root;
}

// The volume's file-system name in capitals ("FAT32", "NTFS"); empty where not known.
std::wstring fileSystemName(const std::wstring& root) {
  wchar_t name[MAX_PATH + 1] = L"";
  if (root.empty() ||
      !GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH))
    return L"";
  std::wstring upper = name;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
  return upper;
}

// What the device of the fixed drive at `root` ("D:\\") tells of itself: a USB bus, or a
// seek penalty. Asking needs no access to its data.
Medium fixedDiskMedium(const std::wstring& root) {
  const std::wstring device = L"\\\\.\\" + root.substr(0, 2);
  const Handle disk(CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  if (!disk.valid()) return Medium::Solid;
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  STORAGE_DEVICE_DESCRIPTOR described{};
  DWORD got = 0;
  if (DeviceIoControl(disk.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &described,
                      sizeof described, &got, nullptr) &&
      got >= offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof described.BusType &&
      described.BusType == BusTypeUsb)
    return Medium::Removable;
  query.PropertyId = StorageDeviceSeekPenaltyProperty;
  DEVICE_SEEK_PENALTY_DESCRIPTOR seeks{};
  if (DeviceIoControl(disk.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &seeks,
                      sizeof seeks, &got, nullptr) &&
      got >= sizeof seeks && seeks.IncursSeekPenalty)
    return Medium::Rotational;
  return Medium::Solid;
}

}  // namespace

bool isRiskyMedium(const std::wstring& folder) {
  const std::wstring root = volumeRoot(folder);
  if (root.empty()) return true;  // not known
  const UINT drive = GetDriveTypeW(root.c_str());
  if (drive == DRIVE_REMOVABLE || drive == DRIVE_REMOTE) return true;
  const std::wstring system = fileSystemName(root);
  return system == L"FAT" || system == L"FAT32" || system == L"EXFAT" || system == L"NTFS";
}

Medium mediumOf(const std::wstring& folder) {
  const std::wstring root = volumeRoot(folder);
  if (root.empty()) return Medium::Solid;
  switch (GetDriveTypeW(root.c_str())) {
    case DRIVE_REMOVABLE:
    case DRIVE_CDROM: return Medium::Removable;
    case DRIVE_REMOTE: return Medium::Network;
    case DRIVE_FIXED:
      // Only a drive letter names its device simply.
      return root.size() >= 2 && root[1] == L':' ? fixedDiskMedium(root) : Medium::Solid;
    default: return Medium::Solid;
  }
}

copy::VolumeLimits volumeLimits(const std::wstring& folder) {
  copy::VolumeLimits limits;
  limits.windowsNames = true;
  const std::wstring root = volumeRoot(folder);
  const std::wstring system = fileSystemName(root);
  if (system == L"FAT32" || system == L"FAT") {
    limits.maxFileSize = kFatFileLimit;
    limits.typeName = narrow(system);
  }
  limits.keepsHoles = false;  // the copy writes every byte of a sparse file
  ULARGE_INTEGER available{}, total{};
  if (GetDiskFreeSpaceExW(folder.c_str(), &available, &total, nullptr) && total.QuadPart > 0)
    limits.freeBytes = available.QuadPart;
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  if (!root.empty() &&
      GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                        &clusters) &&
      sectorsPerCluster > 0 && bytesPerSector > 0)
    limits.unit = std::uint64_t{sectorsPerCluster} * bytesPerSector;
  return limits;
}

bool takesName(const std::wstring& folder, std::string_view name) {
  // Its start, so that the probe's name stays within every limit.
  const std::wstring probe =
      temporaryName(folder, nextTemporarySerial()) + L"-" + widen(utf8Head(name, 120));
  const Handle made(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (made.valid()) return true;
  // Any other failure (permission, a full folder) is the copy's to meet and report.
  return createErrorNumber(probe, GetLastError(), true) != err::kBadFileName;
}

copy::NameFolding namesFold(const std::wstring& folder) {
  copy::NameFolding folding;
  std::wstring path;
  Handle probe = createTemporaryFile(folder, GENERIC_WRITE, FILE_ATTRIBUTE_HIDDEN, path);
  if (!probe.valid()) return folding;  // the copy will fail on this folder anyway
  probe.close();
  std::wstring other = path;
  const std::size_t name = other.rfind(L'\\') + 1;
  CharUpperBuffW(other.data() + name, static_cast<DWORD>(other.size() - name));
  // The names in other case and form are this run's own: found, they can only be the probe.
  folding.caseFolds = GetFileAttributesW(other.c_str()) != INVALID_FILE_ATTRIBUTES;
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(path.c_str());
  // "é" composed, looked up as "e" and the combining acute accent; gone once closed.
  const std::wstring plain = temporaryName(folder, nextTemporarySerial());
  const Handle formed(CreateFileW((plain + L"\u00E9").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                                  nullptr));
  folding.formsFold =
      formed.valid() && GetFileAttributesW((plain + L"e\u0301").c_str()) != INVALID_FILE_ATTRIBUTES;
  return folding;
}

}  // namespace qm::win32
