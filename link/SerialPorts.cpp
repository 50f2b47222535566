#include "link/SerialPorts.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <system_error>

namespace quillmar {

namespace fs = std::filesystem;

namespace {

// Sysfs attributes are one short line; anything longer is not one of them.
constexpr std::streamsize MaxAttributeSize = 4096;

// Control characters (a tab, a line break) would break a listing line into
// pieces: each run of them and of blanks becomes one space.
std::string cleanText(const std::string& text) {
    std::string clean;
    bool blank = false;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == ' ') {
            blank = true;
            continue;
        }
        if (blank && !clean.empty()) clean += ' ';
        blank = false;
        clean += c;
    }
    return clean;
}

// An attribute's text, cleaned (its closing line break goes with the
// rest); nullopt when it cannot be read. A USB string may hold line breaks
// of its own.
std::optional<std::string> readAttribute(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text(MaxAttributeSize, '\0');
    in.read(text.data(), MaxAttributeSize);
    if (in.bad()) return std::nullopt;
    text.resize(static_cast<size_t>(in.gcount()));
    return cleanText(text);
}

std::string attribute(const fs::path& file) {
    return readAttribute(file).value_or(std::string());
}

// A number as sysfs writes it: decimal, or hexadecimal after "0x".
std::optional<unsigned long long> parseNumber(const std::string& text) {
    if (text.empty() || !std::isxdigit(static_cast<unsigned char>(text[0]))) return std::nullopt;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (end == text.c_str() || *end != '\0') return std::nullopt;
    return value;
}

bool pathExists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(p, ec);
}

bool isLink(const fs::path& p) {
    std::error_code ec;
    return fs::is_symlink(p, ec);
}

std::optional<fs::path> resolved(const fs::path& p) {
    std::error_code ec;
    fs::path c = fs::canonical(p, ec);
    if (ec) return std::nullopt;
    return c;
}

// The last name of the path a link leads to ("ftdi_sio" for .../drivers/ftdi_sio).
std::string linkName(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.filename().string();
}

// The names of the serial core's types, as the kernel gives them; 0 is unknown.
std::string uartName(unsigned long long type) {
    static const char* const names[] = {"",       "8250",  "16450",   "16550", "16550A",
                                        "Cirrus", "16650", "16650V2", "16750", "Startech",
                                        "16C950", "16654", "16850",   "RSA",   "NS16550A"};
    if (type < std::size(names)) return names[type];
    return "UART type " + std::to_string(type);
}

std::string hex(unsigned long long value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", value);
    return text;
}

// "FTDI" and "FT232R USB UART" give "FTDI FT232R USB UART"; a product that
// already names its maker is taken as it is.
std::string makerAndProduct(const std::string& maker, const std::string& product) {
    if (maker.empty()) return product;
    if (product.empty()) return maker;
    const bool named =
        product.size() >= maker.size() &&
        std::equal(maker.begin(), maker.end(), product.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        });
    return named ? product : maker + " " + product;
}

// Natural order: the digits in names compare as numbers (ttyS2 < ttyS10).
bool naturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[j]);
        if (std::isdigit(ca) && std::isdigit(cb)) {
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])))
                ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])))
                ++ej;
            std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
            nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = ei;
            j = ej;
            continue;
        }
        if (ca != cb) return ca < cb;
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

// The device directories from a tty's device up to (not including) the top
// of the device tree, nearest first.
std::vector<fs::path> ancestry(const fs::path& device, const fs::path& devicesRoot) {
    std::vector<fs::path> chain;
    const std::string top = devicesRoot.string() + "/";
    for (fs::path p = device; p.string().rfind(top, 0) == 0; p = p.parent_path())
        chain.push_back(p);
    return chain;
}

// The driver that serves the port: the nearest driver above the tty that
// is not the serial core's own port and controller devices.
std::string driverOf(const std::vector<fs::path>& chain) {
    for (const fs::path& p : chain) {
        if (!isLink(p / "driver") || linkName(p / "subsystem") == "serial-base") continue;
        return linkName(p / "driver");
    }
    return {};
}

// The node name under /dev: DEVNAME of the tty's uevent, else its name with
// '!' standing for '/', as the kernel writes names holding a slash.
std::string nodeName(const fs::path& ttyDir) {
    std::ifstream in(ttyDir / "uevent");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("DEVNAME=", 0) == 0) return line.substr(8);
    std::string name = ttyDir.filename().string();
    std::replace(name.begin(), name.end(), '!', '/');
    return name;
}

// Whether a UART stands behind the tty (see the header).
bool hasHardware(const fs::path& ttyDir) {
    if (const auto type = readAttribute(ttyDir / "type")) {
        const auto value = parseNumber(*type);
        return !value || *value != 0;
    }
    const auto port = readAttribute(ttyDir / "port");
    const auto memory = readAttribute(ttyDir / "iomem_base");
    if (port && memory) {
        const auto p = parseNumber(*port), m = parseNumber(*memory);
        return !p || !m || *p != 0 || *m != 0;
    }
    return true;
}

void describeUsb(SerialDeviceInfo& info, const std::vector<fs::path>& chain) {
    for (size_t i = 0; i < chain.size(); ++i) {
        const fs::path& p = chain[i];
        if (!pathExists(p / "idVendor") || !pathExists(p / "idProduct")) continue;
        info.Usb = true;
        info.Manufacturer = attribute(p / "manufacturer");
        info.Product = attribute(p / "product");
        info.SerialNumber = attribute(p / "serial");
        // A device without a product string may still name its interface.
        if (info.Product.empty() && i > 0) info.Product = attribute(chain[i - 1] / "interface");
        std::string name = makerAndProduct(info.Manufacturer, info.Product);
        if (name.empty()) {
            name = "USB serial adapter " + attribute(p / "idVendor") + ":" + attribute(p / "idProduct");
            if (!info.Driver.empty()) name += ", driver " + info.Driver;
        }
        if (!info.SerialNumber.empty()) name += ", serial " + info.SerialNumber;
        info.Description = name;
        return;
    }
}

void describeOther(SerialDeviceInfo& info, const fs::path& ttyDir) {
    std::string text = "Serial port";
    if (const auto type = parseNumber(attribute(ttyDir / "type")); type && *type != 0)
        text = uartName(*type) + " serial port";
    const auto port = parseNumber(attribute(ttyDir / "port"));
    const auto memory = parseNumber(attribute(ttyDir / "iomem_base"));
    if (port && *port != 0)
        text += " at I/O " + hex(*port);
    else if (memory && *memory != 0)
        text += " at memory " + hex(*memory);
    if (!info.Driver.empty()) text += ", driver " + info.Driver;
    info.Description = text;
}

} // namespace

SerialPortFinder::SerialPortFinder(fs::path sysRoot, fs::path devRoot)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)) {}

std::vector<SerialDeviceInfo> SerialPortFinder::find() const {
    std::vector<SerialDeviceInfo> found;
    const auto devicesRoot = resolved(sysRoot_ / "devices");
    if (!devicesRoot) return found;

    // udev's stable names, by the node they lead to; the first name wins
    // should two lead to one node.
    std::map<fs::path, std::string> byId;
    {
        std::vector<fs::path> links;
        std::error_code ec;
        for (fs::directory_iterator it(devRoot_ / "serial" / "by-id", ec), end; !ec && it != end;
             it.increment(ec))
            links.push_back(it->path());
        std::sort(links.begin(), links.end());
        for (const fs::path& link : links)
            if (const auto target = resolved(link)) byId.emplace(*target, link.string());
    }

    std::error_code ec;
    for (fs::directory_iterator it(sysRoot_ / "class" / "tty", ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path ttyDir = it->path();
        const auto device = resolved(ttyDir / "device");
        if (!device || !hasHardware(ttyDir)) continue;
        const fs::path node = devRoot_ / nodeName(ttyDir);
        if (!pathExists(node)) continue;

        SerialDeviceInfo info;
        info.Device = node.string();
        if (const auto target = resolved(node))
            if (const auto link = byId.find(*target); link != byId.end()) info.ById = link->second;
        const std::vector<fs::path> chain = ancestry(*device, *devicesRoot);
        info.Driver = driverOf(chain);
        describeUsb(info, chain);
        if (!info.Usb) describeOther(info, ttyDir);
        found.push_back(std::move(info));
    }
    std::sort(found.begin(), found.end(), [](const SerialDeviceInfo& a, const SerialDeviceInfo& b) {
        return naturalLess(a.Device, b.Device);
    });
    return found;
}

std::vector<SerialDeviceInfo> FindSerialDevices() {
    return SerialPortFinder().find();
}

std::string PortListLine(const SerialDeviceInfo& device) {
    std::string line = device.Device + "\t" + device.Description;
    if (!device.ById.empty()) line += " (" + device.ById + ")";
    return line;
}

} // namespace quillmar
