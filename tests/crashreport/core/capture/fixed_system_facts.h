#pragma once
// A made-up computer for the report's general information: every fact a
// field that a test may change.

#include "crashreport/core/capture/system_facts.h"

namespace cvtest {

struct TFixedSystemFacts : cv::TSystemFacts {
    std::string programFileName = "/opt/corvantis/corvantis-wordlist";
    std::string programDescription;
    std::string programVersion = "7.0.12";
    std::string commandLine = "/opt/corvantis/corvantis-wordlist /log \"my texts.txt\"";
    std::string commandLineProgram = "/opt/corvantis/corvantis-wordlist";
    cv::TDateTime startTime = cv::EncodeDateTime(2024, 3, 4, 10, 0, 0);
    bool console = false;
    cv::TModuleFacts module{"/usr/lib/x86_64-linux-gnu/libQt6Core.so.6", "", "6.4.2"};
    std::string userName = "ann";
    std::string userFullName = "Ann Example";
    std::string userCompany = "Example Press";
    std::vector<cv::TPrivilegeFacts> privileges{{"CAP_NET_RAW", true}, {"CAP_SYS_NICE", false}};
    std::string computerName = "desk-07";
    std::optional<cv::TMemoryFacts> memory = cv::TMemoryFacts{16ull << 30, 5500ull << 20};
    std::optional<cv::TDiskFacts> disk = cv::TDiskFacts{512ull << 30, 130ull * 1073741824 / 4};
    std::optional<uint64_t> upTimeMs = 90061000; // 1 day, 1 hour, 1 minute, 1 second
    std::string processor = "AMD EPYC 7B13";
    std::string videoCard = "Intel Corporation TigerLake-LP GT2 [Iris Xe Graphics] (driver i915)";
    std::optional<cv::TDisplayFacts> display = cv::TDisplayFacts{1920, 1080, 24, 96};
    std::optional<std::string> printer = std::string("Office (driver HP LaserJet 4000)");
    std::optional<cv::TActiveWindowFacts> window = cv::TActiveWindowFacts{"cv::TFormWordList", "WordList - \tnew"};
    std::string osName = "Debian GNU/Linux 12 (bookworm)";
    std::string osBuild = "6.1.0-18-amd64";
    std::string osUpdate = "#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)";
    std::string osLanguage = "English";
    std::string osCharset = "UTF-8";
    std::vector<cv::TNetworkAdapterFacts> adapters{{"192.168.1.5", "255.255.255.0", "192.168.1.1", {"192.168.1.1", "9.9.9.9"}, true}};

    std::string ProgramFileName() const override { return programFileName; }
    std::string ProgramDescription() const override { return programDescription; }
    std::string ProgramVersion() const override { return programVersion; }
    std::string CommandLine() const override { return commandLine; }
    std::string CommandLineProgram() const override { return commandLineProgram; }
    cv::TDateTime ProgramStartTime() const override { return startTime; }
    bool IsConsoleProgram() const override { return console; }
    cv::TModuleFacts ModuleOfAddress(uintptr_t address) const override { return address ? module : cv::TModuleFacts{}; }
    std::string UserName() const override { return userName; }
    std::string UserFullName() const override { return userFullName; }
    std::string UserCompany() const override { return userCompany; }
    std::vector<cv::TPrivilegeFacts> Privileges() const override { return privileges; }
    std::string ComputerName() const override { return computerName; }
    std::optional<cv::TMemoryFacts> Memory() const override { return memory; }
    std::optional<cv::TDiskFacts> Disk(const std::string&) const override { return disk; }
    std::optional<uint64_t> SystemUpTimeMs() const override { return upTimeMs; }
    std::string Processor() const override { return processor; }
    std::string VideoCard() const override { return videoCard; }
    std::optional<cv::TDisplayFacts> Display() const override { return display; }
    std::optional<std::string> DefaultPrinter() const override { return printer; }
    std::optional<cv::TActiveWindowFacts> ActiveWindow() const override { return window; }
    std::string OSName() const override { return osName; }
    std::string OSBuild() const override { return osBuild; }
    std::string OSUpdate() const override { return osUpdate; }
    std::string OSLanguage() const override { return osLanguage; }
    std::string OSCharset() const override { return osCharset; }
    std::vector<cv::TNetworkAdapterFacts> NetworkAdapters() const override { return adapters; }
};

} // namespace cvtest
