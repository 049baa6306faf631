// Records for tests that must notice a field read from the wrong place. The first differs from
// the record defaults and from the identified record in every field: a builder that falls back on
// the engine's 5 preambles, polling address 0 or the identified transmitter's address bytes shows
// up in the frame. Only the expansion code (254) and the universal revision (5) are those of every
// transmitter this program talks to.
// Packed texts are written as bytes, not through the encoder that the tests check; floats are
// exact in single precision and in the data file's five decimals, so the record survives a file.
#pragma once

#include "record/record.h"

// The record that a dialog works on. Tag "ПД-107", descriptor "КОТЕЛ 2 ВЫХОД", message
// "ЦЕХ 4 ЛИНИЯ ПАРА ЗАМЕНА 2021"; unit [Bar], square-root output, date 14-3-2021.
inline TDaneIPPC UnlikeDefaultsRecord() {
  TDaneIPPC r;
  r.message = {0x78, 0x56, 0x20, 0xD2, 0x09, 0xE5, 0x22, 0x57, 0x20, 0xA0, 0x14, 0x01,
               0x83, 0xE0, 0x4D, 0x14, 0x80, 0x60, 0xCB, 0x0C, 0xB1, 0x82, 0x08, 0x20};
  r.pollingAddress = 7;
  r.expansionCode = 254;
  r.manufacturerId = 0x26;
  r.deviceType = 3;
  r.preambles = 9;
  r.universalRevision = 5;
  r.specificRevision = 2;
  r.softwareRevision = 4;
  r.hardwareRevision = 3;
  r.deviceFlags = 1;
  r.alarmCode = 1;
  r.transferFunction = 1;
  r.unitCode = 7;
  r.writeProtect = 251;
  r.distributorCode = 0x2A;
  r.deviceId = 0x0A1B2C;
  r.sensorSerial = 123456;
  r.upperRange = 16.0f;
  r.lowerRange = -0.5f;
  r.upperSensorLimit = 40.0f;
  r.lowerSensorLimit = -1.0f;
  r.minimumSpan = 0.5f;
  r.damping = 1.5f;
  r.tag = {0xA1, 0xDB, 0x71, 0xC3, 0x78, 0x20};
  r.descriptor = {0x2C, 0xF5, 0x05, 0x9E, 0x0C, 0xA0, 0x0B, 0xD6, 0x0F, 0x76, 0x08, 0x20};
  r.dateDay = 14;
  r.dateMonth = 3;
  r.dateYear = 121;
  r.recordYear = 2025;
  r.recordDay = 2;
  r.recordMonth = 9;
  r.assemblyNumber = 654321;
  return r;
}

// A second transmitter in the same database, which an operation on the first must leave as it is.
// Differs from the record above in every field but the expansion code and the universal revision.
// Tag "ТР-3", descriptor "ВОДА ХОЛОДНАЯ", message "НАСОСНАЯ 1 ЩИТ 5"; unit [МПа], linear.
inline TDaneIPPC BystanderRecord() {
  TDaneIPPC r;
  r.message = {0x20, 0x10, 0xCF, 0x0C, 0x80, 0x5C, 0x83, 0x18, 0x1F, 0x95, 0x48, 0x35,
               0x82, 0x08, 0x20, 0x82, 0x08, 0x20, 0x82, 0x08, 0x20, 0x82, 0x08, 0x20};
  r.pollingAddress = 12;
  r.expansionCode = 254;
  r.manufacturerId = 0x11;
  r.deviceType = 2;
  r.preambles = 3;
  r.universalRevision = 5;
  r.specificRevision = 6;
  r.softwareRevision = 8;
  r.hardwareRevision = 7;
  r.deviceFlags = 4;
  r.alarmCode = 2;
  r.transferFunction = 0;
  r.unitCode = 237;
  r.writeProtect = 1;
  r.distributorCode = 0x33;
  r.deviceId = 0x3C4D5E;
  r.sensorSerial = 765432;
  r.upperRange = 2.5f;
  r.lowerRange = 0.25f;
  r.upperSensorLimit = 6.0f;
  r.lowerSensorLimit = 0.125f;
  r.minimumSpan = 0.0625f;
  r.damping = 4.0f;
  r.tag = {0x51, 0x0B, 0x73, 0x82, 0x08, 0x20};
  r.descriptor = {0x08, 0xF7, 0x41, 0x81, 0x83, 0xE7, 0x3D, 0xD2, 0x01, 0x72, 0x08, 0x20};
  r.dateDay = 28;
  r.dateMonth = 11;
  r.dateYear = 118;
  r.recordYear = 2024;
  r.recordDay = 19;
  r.recordMonth = 5;
  r.assemblyNumber = 112233;
  return r;
}
