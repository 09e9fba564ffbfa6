#include "crashreport/core/capture/system_facts.h"

#include <gtest/gtest.h>

#include <QDir>

#include <cmath>

#include "fixed_system_facts.h"
#include "support/test_support.h"

using namespace cv;
using namespace cv::systemfacts;

TEST(SystemFacts, MemoryFromMeminfo)
{
    const std::optional<TMemoryFacts> memory = ParseMemInfo("MemTotal:       16318844 kB\nMemFree:  100 kB\nMemAvailable:    9000000 kB\n");
    ASSERT_TRUE(memory);
    EXPECT_EQ(memory->Total, 16318844ull * 1024);
    EXPECT_EQ(memory->Available, 9000000ull * 1024);
    EXPECT_EQ(ParseMemInfo("MemTotal: 2048 kB\nMemFree: 1024 kB\n")->Available, 1024ull * 1024) << "an older kernel";
    EXPECT_FALSE(ParseMemInfo("MemTotal: lots\nMemAvailable: 1 kB\n"));
    EXPECT_FALSE(ParseMemInfo(""));
}

TEST(SystemFacts, CapabilitiesAreThePrivilegesHeldAndEffective)
{
    const std::vector<TPrivilegeFacts> held = ParseCapabilities("Name:\tx\nCapInh:\t0\nCapPrm:\t0004000000003000\nCapEff:\t0000000000001000\n");
    ASSERT_EQ(held.size(), 3u);
    EXPECT_EQ(held[0].Name, "CAP_NET_ADMIN");
    EXPECT_TRUE(held[0].Enabled);
    EXPECT_EQ(held[1].Name, "CAP_NET_RAW");
    EXPECT_FALSE(held[1].Enabled);
    EXPECT_EQ(held[2].Name, "CAP_50") << "a number this list does not know";
    EXPECT_TRUE(ParseCapabilities("CapPrm:\t0000000000000000\nCapEff:\t0000000000000000\n").empty());
    EXPECT_TRUE(ParseCapabilities("").empty());
    EXPECT_EQ(CapabilityName(40), "CAP_CHECKPOINT_RESTORE");
}

TEST(SystemFacts, ProcessorOfTheFirstBlock)
{
    EXPECT_EQ(ParseCpuInfo("processor\t: 0\nvendor_id\t: AuthenticAMD\nmodel name\t: AMD EPYC 7B13\n\nprocessor\t: 1\nmodel name\t: other\n"),
              "AMD EPYC 7B13");
    EXPECT_EQ(ParseCpuInfo("vendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 158\nstepping\t: 10\n"),
              "GenuineIntel - Family 6 Model 158 Stepping 10");
    EXPECT_EQ(ParseCpuInfo("vendor_id\t: GenuineIntel\n"), "GenuineIntel");
    EXPECT_EQ(ParseCpuInfo("Processor\t: ARMv7 Processor rev 4 (v7l)\n"), "ARMv7 Processor rev 4 (v7l)");
    EXPECT_EQ(ParseCpuInfo(""), "Unknown processor");
}

TEST(SystemFacts, NameServersAndGateways)
{
    EXPECT_EQ(ParseResolvConf("# generated\nsearch example.org\nnameserver 10.0.0.1\n nameserver\t9.9.9.9 \noptions edns0\nnameserver\n"),
              (std::vector<std::string>{"10.0.0.1", "9.9.9.9"}));
    const char* routes = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n"
                         "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\n"
                         "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\n"
                         "wlan0\t00000000\t0101A8C0\t0001\t0\t0\t0\t00000000\n";
    EXPECT_EQ(DefaultGateway(routes, "eth0"), "192.0.2.1");
    EXPECT_EQ(DefaultGateway(routes, "wlan0"), "") << "a default route that names no gateway";
    EXPECT_EQ(DefaultGateway(routes, "eth1"), "");
}

TEST(SystemFacts, StartTimeCountsFieldsAfterTheName)
{
    // 2 024 000 ticks of 100 a second after boot: 5 hours, 37 minutes, 20 seconds.
    const std::string stat = "4242 (my (odd) prog) S 1 4242 4242 0 -1 4194560 1 0 0 0 0 0 0 0 20 0 1 0 2024000 1000 10";
    const TDateTime boot = UnixTimeToDateTime(1700000000);
    const TDateTime start = ProcessStartTime(stat, "cpu 1 2 3\nbtime 1700000000\n", 100);
    EXPECT_NEAR((start - boot) * 86400.0, 20240.0, 1e-3);
    EXPECT_EQ(ProcessStartTime(stat, "cpu 1\n", 100), 0.0) << "no boot time";
    EXPECT_EQ(ProcessStartTime("4242 (x) S 1", "btime 1\n", 100), 0.0) << "too few fields";
}

TEST(SystemFacts, FilesAreReadBelowTheRootFolder)
{
    cvtest::TempDir root;
    QDir().mkpath(root.file("proc/self"));
    QDir().mkpath(root.file("sys/class/drm/card0/device"));
    QDir().mkpath(root.file("sys/class/drm/card0-HDMI-A-1"));
    QDir().mkpath(root.file("sys/module/amdgpu"));
    QDir().mkpath(root.file("usr/share/misc"));
    root.write("proc/meminfo", "MemTotal: 1048576 kB\nMemAvailable: 524288 kB\n");
    root.write("proc/uptime", "90061.50 1000.00\n");
    root.write("proc/cpuinfo", "model name\t: Test CPU\n");
    root.write("proc/self/status", "CapPrm:\t0000000000000001\nCapEff:\t0000000000000000\n");
    root.write("sys/class/drm/card0/device/uevent", "DRIVER=amdgpu\nPCI_CLASS=30000\nPCI_ID=1002:73BF\n");
    root.write("sys/class/drm/card0/device/mem_info_vram_total", "17163091968\n");
    root.write("sys/module/amdgpu/version", "3.54.0\n");
    root.write("usr/share/misc/pci.ids", "# ids\n1002  Advanced Micro Devices, Inc. [AMD/ATI]\n\t73a5  Navi 21\n\t73bf  Navi 21 [Radeon RX 6800]\n"
                                         "1022  Advanced Micro Devices, Inc. [AMD]\n");

    const TLocalSystemFacts facts(root.path().toStdString());
    EXPECT_EQ(facts.Memory()->Total, 1024ull << 20);
    EXPECT_EQ(facts.SystemUpTimeMs(), 90061500u);
    EXPECT_EQ(facts.Processor(), "Test CPU");
    ASSERT_EQ(facts.Privileges().size(), 1u);
    EXPECT_EQ(facts.Privileges()[0].Name, "CAP_CHOWN");
    EXPECT_EQ(facts.VideoCard(), "Advanced Micro Devices, Inc. [AMD/ATI] Navi 21 [Radeon RX 6800] (driver amdgpu 3.54.0 - RAM 16368 MB)");

    // Without the ids list the card is named by its numbers; without cards there is nothing.
    QFile::remove(root.file("usr/share/misc/pci.ids"));
    EXPECT_EQ(facts.VideoCard(), "PCI 1002:73BF (driver amdgpu 3.54.0 - RAM 16368 MB)");
    QDir(root.file("sys/class/drm")).removeRecursively();
    EXPECT_EQ(facts.VideoCard(), "");
    EXPECT_FALSE(facts.Memory().has_value() && facts.Memory()->Total == 0);
    QFile::remove(root.file("proc/meminfo"));
    EXPECT_FALSE(facts.Memory()) << "no file, and no system call in place of a root folder";
}

TEST(SystemFacts, ThisSystemAnswersWithoutMakingThingsUp)
{
    const TLocalSystemFacts facts;
    EXPECT_EQ(QFileInfo(QString::fromStdString(facts.ProgramFileName())).fileName(), "crashreport_core_tests");
    EXPECT_FALSE(facts.ComputerName().empty());
    EXPECT_FALSE(facts.UserName().empty());
    ASSERT_TRUE(facts.Memory());
    EXPECT_GT(facts.Memory()->Total, facts.Memory()->Available);
    ASSERT_TRUE(facts.Disk(facts.ProgramFileName()));
    EXPECT_GE(facts.Disk(facts.ProgramFileName())->Total, facts.Disk(facts.ProgramFileName())->Available);
    EXPECT_FALSE(facts.Disk("/no/such/file"));
    ASSERT_TRUE(facts.SystemUpTimeMs());
    EXPECT_GT(*facts.SystemUpTimeMs(), 0u);
    const double age = NowDateTime() - facts.ProgramStartTime();
    EXPECT_GE(age, -2.0 / 86400) << "started before now";
    EXPECT_LT(age, 1.0) << "and today";
    EXPECT_TRUE(facts.IsConsoleProgram()) << "the core's tests run without windows";
    EXPECT_FALSE(facts.OSName().empty());
    EXPECT_FALSE(facts.OSBuild().empty());
    EXPECT_NE(facts.CommandLine().find(facts.CommandLineProgram()), std::string::npos);

    const TModuleFacts self = facts.ModuleOfAddress(reinterpret_cast<uintptr_t>(&ParseCpuInfo));
    EXPECT_EQ(self.FileName, facts.ProgramFileName());
    EXPECT_FALSE(facts.ModuleOfAddress(0).FileName.size());
    for (const TNetworkAdapterFacts& adapter : facts.NetworkAdapters()) {
        EXPECT_FALSE(adapter.Address.empty());
        EXPECT_NE(adapter.Address, "127.0.0.1");
    }
}

TEST(SystemFacts, WindowFactsComeFromTheRegisteredAdapter)
{
    struct TStubGui : TGuiFacts {
        std::optional<TDisplayFacts> Display() const override { return TDisplayFacts{800, 600, 32, 120}; }
        std::string DefaultPrinter() const override { return ""; }
        TActiveWindowFacts ActiveWindow() const override { return {"Form", "Title"}; }
    };
    const TLocalSystemFacts facts;
    ASSERT_FALSE(RegisteredGuiFacts());
    EXPECT_FALSE(facts.Display());
    EXPECT_FALSE(facts.DefaultPrinter());
    EXPECT_FALSE(facts.ActiveWindow());
    RegisterGuiFacts(std::make_shared<TStubGui>());
    EXPECT_EQ(facts.Display()->DotsPerInch, 120);
    EXPECT_EQ(facts.DefaultPrinter(), std::optional<std::string>(""));
    EXPECT_EQ(facts.ActiveWindow()->Text, "Title");
    RegisterGuiFacts(nullptr);
    EXPECT_FALSE(facts.Display());
}
