// Writes LZH member headers and archives for the tests, with the tests' one
// CRC-16 (CRC-16/ARC), written apart from the engine's so that the engine's
// is checked rather than reused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

uint16_t Crc16(const std::string& bytes);

struct TestMember {
    std::string Name;
    std::string Data;       // what the member extracts to
    std::string Packed;     // the bytes after the header when UsePacked is set
    bool UsePacked = false; // otherwise Data is stored as it is
    std::string Method = "-lh0-";
    int Level = 2;
    uint32_t Time = 1000000000; // level 2: seconds since 1970, UTC
    uint16_t DosTime = 0;       // levels 0 and 1: MS-DOS local time and date
    uint16_t DosDate = 0;
    bool FileCrc = true;                 // levels 0 and 1: store the data's CRC-16
    bool HeaderCrc = true;               // levels 1 and 2: add a header-CRC extension
    bool ExtName = false;                // level 1: name in an extension, not the base header
    std::vector<std::string> Extensions; // extra extensions: type byte, then data
    int Padding = 0;                     // level 2: bytes added after the last extension
    // Level 2: a header size that is a multiple of 256 reads as the end
    // marker, so a writer adds a byte; tests of that case turn this off.
    bool AvoidEndMarkerSize = true;
};

// The header alone, and the header followed by the member's bytes.
std::string MemberHeaderBytes(const TestMember& m);
std::string MemberBytes(const TestMember& m);

// Members in order, then the end marker when asked.
std::string ArchiveBytes(const std::vector<TestMember>& members, bool endMarker = true);

// Bytes that contain no '-', so that they can never hold a member header.
std::string Filler(size_t size, uint32_t seed);

// MS-DOS date and time fields.
uint16_t DosDate(int year, int month, int day);
uint16_t DosTime(int hour, int minute, int second);

// After a test has changed a header's bytes: recompute the byte sum of a
// level-0/1 base header, or the CRC of a level-2 header whose last
// extension is its header CRC.
void ResealSum(std::string& header);
void ResealLevel2(std::string& header);
