// VEZARO.ini as start-up and shut-down handle it: the bytes are read, applied to a serial
// component in start-up's state, written back as shut-down writes them, and read and applied
// again. What shut-down writes must read back as the same settings, and writing those again
// must give the same bytes.
//
// Input: a name byte (which spelling of the file name the station directory holds), then
// the file's bytes.
#include "CPDrv.h"
#include "FuzzSupport.h"
#include "SettingsFile.h"

namespace {

using vzfuzz::require;

// A serial component as start-up leaves it before reading the file.
struct StartupDriver {
    TCommPortDriver drv;
    StartupDriver() {
        drv.SetDataBits(db8BITS);
        drv.SetPort(pnCOM1);
    }
};

// What the main window hands to shut-down after a start with `applied`: a refused baud
// rate stops the rest of start-up, so the window keeps its default width and normal state.
vz::SettingsToWrite shutDownValues(const TCommPortDriver& drv, const vz::SettingsApplyResult& applied) {
    if (applied.BaudError)
        return vz::settingsFromDriver(drv, 707, true);
    return vz::settingsFromDriver(drv, applied.Width.value_or(707), !applied.Maximized);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString kNames[] = {QStringLiteral("VEZARO.ini"), QStringLiteral("VEZARO.INI"),
                                     QStringLiteral("vezaro.ini"), QStringLiteral("Vezaro.Ini")};
    const vzfuzz::ScratchDir& dir = vzfuzz::ScratchDir::fresh();
    vzfuzz::Input in(data, size);
    const QString& name = kNames[in.byte() % 4];
    dir.write(name, in.rest());

    // Start-up.
    const std::optional<vz::SettingsLines> read = vz::readSettingsFile(dir.path());
    require(read.has_value(), "an existing settings file was not read");
    StartupDriver first;
    const vz::SettingsApplyResult applied = vz::applySettings(*read, first.drv);
    const vz::SettingsToWrite written = shutDownValues(first.drv, applied);

    // Shut-down: the file found at start-up is the one replaced.
    require(vz::writeSettingsFile(written, dir.path()), "the settings file could not be written");
    require(dir.entryCount() == 1, "writing left a second file beside the settings file");
    const QByteArray bytes = dir.read(name);
    require(bytes == vz::settingsFileContent(written), "the file does not hold what was written");

    // The next start reads back what shut-down wrote.
    const std::optional<vz::SettingsLines> again = vz::readSettingsFile(dir.path());
    require(again.has_value(), "the written settings file was not read");
    StartupDriver second;
    const vz::SettingsApplyResult reapplied = vz::applySettings(*again, second.drv);
    require(!reapplied.BaudError.has_value(), "the written baud rate is refused");
    require(second.drv.Port() == first.drv.Port(), "the port did not read back");
    require(second.drv.PortName() == first.drv.PortName(), "the port name did not read back");
    require(second.drv.BaudRateValue() == first.drv.BaudRateValue(), "the baud rate did not read back");
    require(second.drv.DataBits() == first.drv.DataBits(), "the data bits did not read back");
    require(reapplied.Width == written.Width, "the window width did not read back");
    require(reapplied.Maximized == !written.WindowWasNormal, "the window state did not read back");

    // And the shut-down after that writes the same bytes again.
    require(vz::settingsFileContent(shutDownValues(second.drv, reapplied)) == bytes,
            "a second shut-down writes other bytes");
    return 0;
}
