// SPDX-License-Identifier: GPL-3.0-or-later
#include "SpeakerDevices.h"

#include "SpeakerSafety.h"

#include <algorithm>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <linux/input.h>
#include <linux/kd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define ZUVELA_HAVE_IOPORTS 1
#else
#define ZUVELA_HAVE_IOPORTS 0
#endif

namespace platform {

namespace speakerIo {

bool writeTone(int fd, uint16_t frequency) {
    input_event event{};
    event.type = EV_SND;
    event.code = SND_TONE;
    event.value = frequency;
    return write(fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
}

bool consoleSound(int fd, uint32_t argument) {
    return ioctl(fd, KIOCSOUND, static_cast<unsigned long>(argument)) == 0;
}

void portsSpeakerOff() {
#if ZUVELA_HAVE_IOPORTS
    outb(static_cast<uint8_t>(inb(speakerPort::systemControl) & ~0x03u),
         speakerPort::systemControl);
#endif
}

} // namespace speakerIo

namespace {

constexpr unsigned bitsPerLong = sizeof(unsigned long) * CHAR_BIT;

// EVIOCGBIT fills an array of longs, bit n in long n / bitsPerLong.
bool testBit(const unsigned long* bits, unsigned bit) {
    return (bits[bit / bitsPerLong] >> (bit % bitsPerLong)) & 1u;
}

void closeQuietly(int fd) {
    if (fd >= 0) {
        close(fd);
    }
}

} // namespace

// --- the kernel's PC-speaker input device ---

EventToneDevice::EventToneDevice(int fd) : fd_(fd) {
    armSpeakerOff(SpeakerOffKind::EventDevice, fd_);
}

EventToneDevice::~EventToneDevice() {
    toneOff();
    disarmSpeakerOff(SpeakerOffKind::EventDevice, fd_);
    closeQuietly(fd_);
}

bool EventToneDevice::hasToneCapability(int fd) {
    unsigned long types[EV_MAX / bitsPerLong + 1] = {};
    if (ioctl(fd, EVIOCGBIT(0, sizeof types), types) < 0 || !testBit(types, EV_SND)) {
        return false;
    }
    unsigned long sounds[SND_MAX / bitsPerLong + 1] = {};
    return ioctl(fd, EVIOCGBIT(EV_SND, sizeof sounds), sounds) >= 0 && testBit(sounds, SND_TONE);
}

std::vector<std::string> EventToneDevice::candidates() {
    std::vector<std::string> byPath;
    std::vector<std::string> events;
    auto scan = [](const std::string& dir, auto accept, std::vector<std::string>& out) {
        if (DIR* d = opendir(dir.c_str())) {
            while (const dirent* entry = readdir(d)) {
                const std::string name = entry->d_name;
                if (accept(name)) {
                    out.push_back(std::string(dir).append("/").append(name));
                }
            }
            closedir(d);
        }
        std::sort(out.begin(), out.end());
    };
    scan(
        "/dev/input/by-path",
        [](const std::string& n) {
            return n.size() > 11 && n.compare(n.size() - 11, 11, "-event-spkr") == 0;
        },
        byPath);
    scan(
        "/dev/input", [](const std::string& n) { return n.rfind("event", 0) == 0; }, events);
    byPath.insert(byPath.end(), events.begin(), events.end());
    return byPath;
}

std::unique_ptr<EventToneDevice> EventToneDevice::open(const std::vector<std::string>& candidates) {
    for (const std::string& path : candidates) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        if (hasToneCapability(fd)) {
            return std::make_unique<EventToneDevice>(fd);
        }
        close(fd);
    }
    return nullptr;
}

bool EventToneDevice::toneOn(uint16_t frequency) {
    return speakerIo::writeTone(fd_, frequency);
}

void EventToneDevice::toneOff() {
    speakerIo::writeTone(fd_, 0);
}

// --- the console ---

ConsoleToneDevice::ConsoleToneDevice(int fd) : fd_(fd) {
    armSpeakerOff(SpeakerOffKind::Console, fd_);
}

ConsoleToneDevice::~ConsoleToneDevice() {
    toneOff();
    disarmSpeakerOff(SpeakerOffKind::Console, fd_);
    closeQuietly(fd_);
}

uint32_t ConsoleToneDevice::soundArgument(uint16_t frequency) {
    return frequency == 0 ? 0 : speakerPort::timerClock / frequency;
}

std::unique_ptr<ConsoleToneDevice>
ConsoleToneDevice::open(const std::vector<std::string>& candidates) {
    for (const std::string& path : candidates) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        if (speakerIo::consoleSound(fd, 0)) {
            return std::make_unique<ConsoleToneDevice>(fd);
        }
        close(fd);
    }
    return nullptr;
}

bool ConsoleToneDevice::toneOn(uint16_t frequency) {
    return speakerIo::consoleSound(fd_, soundArgument(frequency));
}

void ConsoleToneDevice::toneOff() {
    speakerIo::consoleSound(fd_, 0);
}

// --- the I/O ports ---

IoPorts::IoPorts() {
    armSpeakerOff(SpeakerOffKind::Ports, -1);
}

IoPorts::~IoPorts() {
    speakerIo::portsSpeakerOff();
    disarmSpeakerOff(SpeakerOffKind::Ports, -1);
}

std::unique_ptr<IoPorts> IoPorts::open() {
#if ZUVELA_HAVE_IOPORTS
    // 0x42 and 0x43 in one range, 0x61 on its own.
    if (ioperm(speakerPort::timer2Data, 2, 1) == 0 &&
        ioperm(speakerPort::systemControl, 1, 1) == 0) {
        return std::unique_ptr<IoPorts>(new IoPorts());
    }
    ioperm(speakerPort::timer2Data, 2, 0);
#endif
    return nullptr;
}

uint8_t IoPorts::in(uint16_t port) {
#if ZUVELA_HAVE_IOPORTS
    return inb(port);
#else
    (void)port;
    return 0;
#endif
}

void IoPorts::out(uint16_t port, uint8_t value) {
#if ZUVELA_HAVE_IOPORTS
    outb(value, port);
#else
    (void)port;
    (void)value;
#endif
}

// --- the start-up choice ---

const char* speakerMethodName(SpeakerMethod method) {
    switch (method) {
    case SpeakerMethod::EventDevice:
        return "event device";
    case SpeakerMethod::Console:
        return "console";
    case SpeakerMethod::Ports:
        return "I/O ports";
    case SpeakerMethod::Silent:
        break;
    }
    return "silent";
}

SpeakerAccess openSpeaker(const SpeakerCandidates& candidates) {
    SpeakerAccess access;
    if (auto device = EventToneDevice::open(candidates.eventDevices)) {
        access.method = SpeakerMethod::EventDevice;
        access.tone = std::move(device);
        return access;
    }
    if (auto console = ConsoleToneDevice::open(candidates.consoles)) {
        access.method = SpeakerMethod::Console;
        access.tone = std::move(console);
        return access;
    }
    if (candidates.tryPorts) {
        if (auto ports = IoPorts::open()) {
            access.method = SpeakerMethod::Ports;
            access.ports = std::move(ports);
            return access;
        }
    }
    access.tone = std::make_unique<SilentToneService>();
    return access;
}

} // namespace platform
