#pragma once
// A made-up /sys and /dev in a temporary folder, laid out as the kernel and
// udev lay them out: /sys/class/tty/NAME links to the tty's folder under
// /sys/devices, whose device link leads back up to the device that owns it;
// drivers and subsystems are links into /sys/bus; device nodes are plain
// files; /dev/serial/by-id holds relative links to them.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <stdlib.h>

namespace quillmar::test {

class FakeSysfs {
public:
    FakeSysfs() {
        const std::filesystem::path base = getenv("TMPDIR") && *getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp";
        std::string folder = (base / "quillmar-sysfs-XXXXXX").string();
        if (!mkdtemp(folder.data())) ADD_FAILURE() << "cannot make " << folder;
        root = folder;
        sys = root / "sys";
        dev = root / "dev";
        std::filesystem::create_directories(sys / "class" / "tty");
        std::filesystem::create_directories(sys / "devices" / "virtual" / "tty");
        std::filesystem::create_directories(dev);
    }
    ~FakeSysfs() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    // A tty owned by the device at devices/DEVICE, with its node in /dev.
    // Returns the tty's folder, where its attributes go.
    std::filesystem::path addTty(const std::string& name, const std::string& device, bool node = true) {
        const std::filesystem::path tty = sys / "devices" / device / "tty" / name;
        std::filesystem::create_directories(tty);
        const std::string owner = std::filesystem::path(device).filename().string();
        std::filesystem::create_directory_symlink("../../../" + owner, tty / "device");
        std::filesystem::create_directory_symlink("../../devices/" + device + "/tty/" + name,
                                                  sys / "class" / "tty" / name);
        write(tty / "uevent", "MAJOR=4\nMINOR=64\nDEVNAME=" + name + "\n");
        if (node) write(dev / name, "");
        return tty;
    }

    // A tty without a device behind it (a virtual console, ptmx).
    void addVirtualTty(const std::string& name) {
        const std::filesystem::path tty = sys / "devices" / "virtual" / "tty" / name;
        std::filesystem::create_directories(tty);
        std::filesystem::create_directory_symlink("../../devices/virtual/tty/" + name,
                                                  sys / "class" / "tty" / name);
        write(dev / name, "");
    }

    // devices/DEVICE is served by DRIVER of bus BUS.
    void setDriver(const std::string& device, const std::string& bus, const std::string& driver) {
        const std::filesystem::path d = sys / "devices" / device;
        std::filesystem::create_directories(d);
        std::filesystem::create_directories(sys / "bus" / bus / "drivers" / driver);
        std::string up;
        for (const auto& part : std::filesystem::path(device)) {
            (void)part;
            up += "../";
        }
        std::filesystem::create_directory_symlink(up + "../bus/" + bus + "/drivers/" + driver, d / "driver");
        std::filesystem::create_directory_symlink(up + "../bus/" + bus, d / "subsystem");
    }

    // The attributes of a USB device at devices/DEVICE; empty texts are left out.
    void setUsbDevice(const std::string& device, const std::string& vendor, const std::string& product,
                      const std::string& manufacturerText, const std::string& productText,
                      const std::string& serialText) {
        const std::filesystem::path d = sys / "devices" / device;
        std::filesystem::create_directories(d);
        write(d / "idVendor", vendor + "\n");
        write(d / "idProduct", product + "\n");
        if (!manufacturerText.empty()) write(d / "manufacturer", manufacturerText + "\n");
        if (!productText.empty()) write(d / "product", productText + "\n");
        if (!serialText.empty()) write(d / "serial", serialText + "\n");
    }

    // /dev/serial/by-id/NAME -> ../../NODE, as udev makes it.
    void addById(const std::string& name, const std::string& node) {
        std::filesystem::create_directories(dev / "serial" / "by-id");
        std::filesystem::create_symlink("../../" + node, dev / "serial" / "by-id" / name);
    }

    static void write(const std::filesystem::path& file, const std::string& text) {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }

    std::filesystem::path root, sys, dev;
};

} // namespace quillmar::test
