// Names of the message table's identifiers. The values are the table's own
// numbers: captions take their control's or dialog's identifier (1 to 1175), the
// application's messages are 4000 to 4007 (the window's additions from 4100 on),
// the download steps' 8000 to 8125, the command line's step-result words 8200 to
// 8207, and the steps' own lines from 8210 on.
#pragma once

#include <cstdint>

namespace fw {

enum MessageId : std::int32_t {
  // Captions of controls and dialogs.
  kMsgOk = 1,
  kMsgCancel = 2,
  kMsgLoginDialog = 103,
  kMsgBaudrateDialog = 132,
  kMsgHelpButton = 1001,
  kMsgResetButton = 1006,
  kMsgPasswordPrompt = 1008,
  kMsgStopButton = 1044,
  kMsgDownloadButton = 1046,
  kMsgComPortLabel = 1173,
  kMsgMinBaudLabel = 1174,
  kMsgMaxBaudLabel = 1175,

  // The application's own messages.
  kMsgFileVerificationFailed = 4000,
  kMsgFileDamaged = 4001,
  kMsgPasswordIncorrect = 4003,
  kMsgRepeatAfter = 4004,
  kMsgWaitingForUsbDevice = 4005,
  kMsgResetCounterQuestion = 4006,
  kMsgTerminateQuestion = 4007,

  // The window's own texts beyond those: the result panel, the pass counter's
  // label, the repeat wait's stop, the baud dialog's warning, the serial-number
  // edits' refusals.
  kMsgPanelReady = 4100,
  kMsgPanelWaiting = 4101,
  kMsgPanelRunning = 4102,
  kMsgPanelPassed = 4103,
  kMsgPanelFailed = 4104,
  kMsgPanelStopped = 4105,
  kMsgPanelPowerOnChip = 4106,
  kMsgPanelResult = 4107,
  kMsgPanelBoardLoaded = 4108,
  kMsgPanelSerialNumberFull = 4109,
  kMsgPanelProfileNotWritten = 4110,
  kMsgPanelSerialNumber = 4111,
  kMsgPassCounterLabel = 4120,
  kMsgRepeatStopped = 4121,
  kMsgBaudLowestAboveHighest = 4122,
  kMsgSerialDigitsOnly = 4123,
  kMsgSerialTooLarge = 4124,

  // Handshake and identification.
  kMsgCheckingTarget = 8000,
  kMsgReconnectBoard = 8001,
  kMsgRecheckingTarget = 8002,
  kMsgBoardOverCurrent = 8003,
  kMsgChipType = 8004,
  kMsgFirmwareVersion = 8005,
  kMsgFirmwareVersionWithBuild = 8006,
  kMsgCurrentOptions = 8007,
  kMsgOptionsUpgradedTo = 8008,
  kMsgUnknownChip = 8009,
  kMsgWrongChip = 8010,
  kMsgFirmwareTooOld = 8011,
  kMsgNoIceFunction = 8012,

  // Clock trim, baud switch, erase, programming.
  kMsgAdjustingFrequency = 8013,
  kMsgSkipped = 8014,
  kMsgAdjustedFrequencyAndError = 8015,
  kMsgRehandshaking = 8016,
  kMsgSuccessfulElapsed = 8017,
  kMsgCurrentBaudrate = 8018,
  kMsgErasing = 8019,
  kMsgUserPasswordError = 8020,
  kMsgChipLocked = 8021,
  kMsgPasswordTries = 8022,
  kMsgOkElapsed = 8023,
  kMsgChipSerial = 8024,
  kMsgUserKeyNotSupported = 8025,
  kMsgProgrammingCode = 8026,
  kMsgProgrammingOptions = 8027,

  // Option report lines.
  kMsgClockFrequency = 8028,
  kMsgMode12T = 8029,
  kMsgMode6T = 8030,
  kMsgOscillatorGainHigh = 8031,
  kMsgOscillatorGainLow = 8032,
  kMsgAnyResetStopsWatchdog = 8033,
  kMsgOnlyPowerDownStopsWatchdog = 8034,
  kMsgWatchdogNotEnabledByHardware = 8035,
  kMsgWatchdogEnabledAtPowerOn = 8036,
  kMsgWatchdogPrescaler = 8037,
  kMsgWatchdogCountsWhenIdle = 8038,
  kMsgWatchdogStopsWhenIdle = 8039,
  kMsgProgramMayChangeWatchdogScaler = 8040,
  kMsgProgramMayNotChangeWatchdogScaler = 8041,
  kMsgInternalXramEnabled = 8042,
  kMsgInternalXramDisabled = 8043,
  kMsgAlePinIsAle = 8044,
  kMsgAlePinIsIo = 8045,
  kMsgP10P11Ignored = 8046,
  kMsgP10P11MustBeLow = 8047,
  kMsgKeepEepromNextDownload = 8048,
  kMsgEraseEepromNextDownload = 8049,
  kMsgClockSourceExternal = 8050,
  kMsgClockSourceInternal = 8051,
  kMsgLowVoltageResetLevel = 8052,
  kMsgNoReset2Detection = 8053,
  kMsgReset2Detection = 8054,
  kMsgNormalPowerOnDelay = 8055,
  kMsgExtraPowerOnDelay = 8056,
  kMsgResetPinIsReset = 8057,
  kMsgResetPinIsIo = 8058,
  kMsgOscillatorStableClocks = 8059,
  kMsgFrequency = 8060,
  kMsgP32P33Ignored = 8061,
  kMsgP32P33MustBeLow = 8062,
  kMsgLowVoltageResets = 8063,
  kMsgLowVoltageInterrupts = 8064,
  kMsgLowVoltageDetectLevel = 8065,
  kMsgEepromInhibitedAtLowVoltage = 8066,
  kMsgEepromPermittedAtLowVoltage = 8067,
  kMsgIrcUnadjusted = 8068,
  kMsgIrcFrequency = 8069,
  kMsgWakeupTimerFrequency = 8070,
  kMsgCoreVoltage = 8071,
  kMsgNo485Control = 8072,
  kMsg485Control = 8073,
  kMsgNoUserPasswordCheck = 8074,
  kMsgUserPasswordCheck = 8075,
  kMsgTxdFollowsRxd = 8076,
  kMsgTxdIndependent = 8077,
  kMsgTxdPushPull = 8078,
  kMsgTxdQuasiBidirectional = 8079,
  kMsgPinHighAfterReset = 8080,
  kMsgPinLowAfterReset = 8081,
  kMsgReferenceVoltage = 8082,
  kMsgReferenceVoltageOutOfRange = 8083,
  kMsgTestingDate = 8084,
  kMsgIceDisabled = 8085,
  kMsgIceEnabled = 8086,
  kMsgIceComPort = 8087,
  kMsgIceUsb = 8088,
  kMsgUart1AtP36P37 = 8089,
  kMsgUart1AtP30P31 = 8090,
  kMsgSetFrequency = 8091,
  kMsgAdjustedFrequency = 8092,
  kMsgTrimError = 8093,

  // Download board.
  kMsgBoardCrystalDamaged = 8094,
  kMsgBoardType = 8095,
  kMsgBoardVersion = 8096,
  kMsgNoExternalFlash = 8097,
  kMsgExternalFlashSize = 8098,
  kMsgUnknownExternalFlash = 8099,
  kMsgStandAloneNeedsP32P33Low = 8100,
  kMsgUpgradingBoardFirmware = 8101,
  kMsgBoardUpgradeCompleted = 8102,
  kMsgCheckingBoard = 8103,
  // Something answered the board check that is no download board.
  kMsgNoBoardAnswered = 8270,

  // Outcome of a download.
  kMsgComplete = 8104,
  kMsgDownloadFailed = 8105,
  kMsgTerminated = 8106,
  kMsgDeviceOpenFailed = 8107,
  kMsgUseNewestSoftware = 8108,
  kMsgBoardConnectFailed = 8109,
  kMsgCleaningUserData = 8110,
  kMsgPreparingDownload = 8111,
  kMsgConnectingUserInterface = 8112,
  kMsgUserInterfaceConnected = 8113,
  kMsgChipVersionNotSupported = 8114,
  kMsgRepowerForClockSource = 8115,
  kMsgRepowerBoard = 8116,
  kMsgProgramTooLarge = 8117,
  kMsgEepromDataCut = 8118,
  kMsgProgramCodeComplete = 8119,
  kMsgTrimFailed = 8120,
  kMsgTrimErrorTooLarge = 8121,
  kMsgApplicationTooOldQuestion = 8122,
  kMsgBoardFirmwareOldQuestion = 8123,
  kMsgError = 8125,

  // The words for each step result, for the command line's last line.
  kMsgResultOk = 8200,
  kMsgResultRefused = 8201,
  kMsgResultTimedOut = 8202,
  kMsgResultStopped = 8203,
  kMsgResultWrongChip = 8204,
  kMsgResultFinishedEarly = 8205,
  kMsgResultFailedLogged = 8206,
  kMsgResultBoardUpdated = 8207,

  // The link's own failure.
  kMsgPortGone = 8210,

  // The option report after an option write whose reply lacks the options.
  kMsgOptionsNotReportedBack = 8212,

  // Clock trim failures the boot loader's table has no line for.
  kMsgSetFrequencyInvalid = 8220,
  kMsgOscillatorNotTrimmed = 8221,
  kMsgMeasurementReplyShort = 8222,

  // Limits of the download steps that the operator must hear of.
  kMsgTopReserveCut = 8230,
  kMsgResendLimit = 8231,
  kMsgNoBaudRateFits = 8232,
  kMsgUnknownGeneratorVariant = 8233,
  kMsgProgramBeyondFlash = 8234,
  kMsgStandAloneImageTooLarge = 8236,

  // fw-flash run: the passes of this run and the pass counter.
  kMsgPassesThisRunAndTotal = 8240,
  // The profile the counters are kept in, and the serial numbers it holds.
  kMsgProfileWaiting = 8260,
  kMsgProfileNotWritable = 8261,
  kMsgProfileWriteFailed = 8262,
  kMsgSerialNumberFull = 8263,
  kMsgResetNotWritten = 8264,
  kMsgResetProfileBusy = 8265,

  // The USB writer's own failures.
  kMsgUsbWriterGone = 8250,
  kMsgProgramBeyondWriterReach = 8251,
  kMsgRecordBeyondWriterReach = 8252,
};

}  // namespace fw
