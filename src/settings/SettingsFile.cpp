#include "settings/SettingsFile.h"

#include <algorithm>
#include <cstring>

#include "core/FileSys.h"

namespace {

// A field that another program filled without its terminator reads as if its last byte were one, so
// that what is read can always be stored back unchanged.
std::string fieldText(const uint8_t* field, size_t size) {
  const auto* end = std::find(field, field + size - 1, uint8_t{0});
  return std::string(reinterpret_cast<const char*>(field), static_cast<size_t>(end - field));
}

bool setFieldText(uint8_t* field, size_t size, std::string_view v) {
  if (v.size() >= size || v.find('\0') != std::string_view::npos) return false;
  std::memset(field, 0, size);
  if (!v.empty()) std::memcpy(field, v.data(), v.size());  // an empty view may have no data at all
  return true;
}

}  // namespace

ConnectionRecord::ConnectionRecord() {
  setPort(21);
}

ConnectionRecord ConnectionRecord::blank() {
  ConnectionRecord r;
  r.bytes_.fill(0);
  return r;
}

ConnectionRecord ConnectionRecord::fromBytes(const uint8_t* bytes) {
  ConnectionRecord r;
  std::memcpy(r.bytes_.data(), bytes, kSize);
  return r;
}

std::string ConnectionRecord::text(size_t offset) const {
  return fieldText(&bytes_[offset], kTextField);
}

bool ConnectionRecord::setText(size_t offset, std::string_view v) {
  return setFieldText(&bytes_[offset], kTextField, v);
}

int32_t ConnectionRecord::int32At(size_t offset) const {
  const uint32_t u = uint32_t{bytes_[offset]} | uint32_t{bytes_[offset + 1]} << 8 |
                     uint32_t{bytes_[offset + 2]} << 16 | uint32_t{bytes_[offset + 3]} << 24;
  return static_cast<int32_t>(u);
}

void ConnectionRecord::setInt32At(size_t offset, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  for (int k = 0; k < 4; ++k) bytes_[offset + k] = static_cast<uint8_t>(u >> (8 * k));
}

SettingsFile::SettingsFile() {
  setDefaults({});
}

void SettingsFile::setDefaults(std::string_view dataFolder) {
  image_.fill(0);
  const ConnectionRecord fresh;
  for (int i = 0; i < kMaxConnections; ++i) setRecord(i, fresh);
  // An exe folder too long for the field leaves TreeDirectory empty rather than cut.
  if (!dataFolder.empty()) setTreeDirectory(std::string(dataFolder) + "REPORT");
}

size_t SettingsFile::load(std::string_view path, std::string_view dataFolder) {
  // A longer file yields its first 4196 bytes and is accepted like an exact one.
  const auto bytes = fsys::readFile(path, kSize);
  const size_t n = bytes ? bytes->size() : 0;
  if (n == kSize) {
    std::memcpy(image_.data(), bytes->data(), kSize);
    return n;
  }
  if (n == kLegacySizeA || n == kLegacySizeB) {
    image_.fill(0);
    std::memcpy(image_.data(), bytes->data(), n);
    if (!setTreeDirectory(std::string(dataFolder) + "REPORT")) setTreeDirectory({});
    return n;
  }
  setDefaults(dataFolder);
  return 0;
}

std::array<uint8_t, SettingsFile::kSize> SettingsFile::image() const {
  auto out = image_;
  std::fill_n(out.begin() + kReserved4, 4, uint8_t{0});
  return out;
}

bool SettingsFile::save(std::string_view path) const {
  const auto bytes = image();
  return fsys::writeFileAtomic(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), kSize),
                               /*ownerOnly=*/true);
}

int SettingsFile::connectionCount() const {
  return std::min<int>(image_[0], kMaxConnections);
}

void SettingsFile::setConnectionCount(int n) {
  image_[0] = static_cast<uint8_t>(std::clamp(n, 0, kMaxConnections));
}

int SettingsFile::currentConnection() const {
  const int i = image_[1];
  return i < connectionCount() ? i : 0;
}

void SettingsFile::setCurrentConnection(int i) {
  image_[1] = static_cast<uint8_t>(std::clamp(i, 0, kMaxConnections - 1));
}

ConnectionRecord SettingsFile::record(int i) const {
  if (i < 0 || i >= kMaxConnections) return ConnectionRecord{};
  return ConnectionRecord::fromBytes(&image_[kRecords + ConnectionRecord::kSize * static_cast<size_t>(i)]);
}

void SettingsFile::setRecord(int i, const ConnectionRecord& r) {
  if (i < 0 || i >= kMaxConnections) return;
  std::memcpy(&image_[kRecords + ConnectionRecord::kSize * static_cast<size_t>(i)], r.bytes().data(),
              ConnectionRecord::kSize);
}

std::string SettingsFile::text(size_t offset) const {
  return fieldText(&image_[offset], kDirectoryField);
}

bool SettingsFile::setText(size_t offset, std::string_view v) {
  return setFieldText(&image_[offset], kDirectoryField, v);
}

std::string SettingsFile::treeDirectory() const {
  return text(kTree);
}
std::string SettingsFile::typedDirectory() const {
  return text(kTyped);
}
bool SettingsFile::setTreeDirectory(std::string_view dir) {
  return setText(kTree, dir);
}
bool SettingsFile::setTypedDirectory(std::string_view dir) {
  return setText(kTyped, dir);
}
