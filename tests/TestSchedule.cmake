# Read by CTest after the discovered tests of a directory: which tests keep a processor busy
# and which mostly wait, and what the long ones cost, so that a parallel run starts the long
# tests first and lets the waiting ones overlap.
#
# Resources (test.sh hands CTest a resource file): "cpus" has one slot per processor, so the
# tests that compute never outnumber the processors; "waits" is for tests that spend their time
# waiting on a line, a cabinet's timeouts or a screenshot's delay, and need little processor
# time. "fuzzers" has two slots; a fuzzer takes one and keeps a processor busy for its whole
# time. A test that races a clock of its own (the scan's answer windows, the serial port's
# silence, a line-speed link's reply timeout, the fault soak) computes little but must be
# served the moment a frame comes: it takes a "cpus" slot and both "fuzzers" slots, so no
# fuzzer and no other such test runs beside it. Without a resource file CTest ignores all this.
#
# ZYR_SCHEDULE_PROGRAMS names the test programs of the directory; each one's discovered tests
# are in <program>_TESTS.

# Tests that mostly wait and race no clock: screenshots of the built program, the defined
# pace's poll cycles, silent cabinets, end-to-end runs over a pseudo-terminal.
set(zyr_waiting_tests
    "ViewPicture\\."
    "^Languages/(Mask|Trend)Picture\\."
    "Program\\."
    "^Languages/ProgramTest\\."
    "EndToEnd"
    "^E2e"
    "^Lines/E2ePollCycle\\."
    "^Faults/E2eFault\\."
    "^SnapshotTest\\."
    "^ValueLogTest\\."
    "^BackupCommand\\."
    "^RestoreCommand\\."
    "^BackupMenuTest\\."
    "^DownloadTest\\."
    "^LostDeviceTest\\."
    "^RecordDownloadKill\\."
    "^SimFaults\\."
    "^SimProtocol\\."
    "^PeerLibmodbus\\."
    "^ScanCommand\\.SilentLine"
    "^Signals/WindowSignals\\.")

# Tests that race a clock even though they mostly wait (the fault soak counts every reply of a
# clean line against a reply timeout of the wire time plus the link's margin).
set(zyr_clock_tests
    "^CabinetScan\\."
    "^Faults/ScanFaults\\."
    "^ScanCommand\\.Finds"
    "^PortDialogFind\\."
    "^PortDialogFindDemo\\."
    "^CommPortTest\\."
    "^SimProtocol\\.FramingCopes"
    "^FastLineFaults\\.")

# Seconds, roughly, on the two-processor machine under the sanitizers: the order in which a run
# with no cost data of its own (a fresh build) starts the long tests.
set(zyr_test_costs
    "DownloadTest.ASilentCabinetEndsWithStatusTwoAndKeepsWhatCame=21"
    "PortDialogFind.FindThenChooseConfirmsTheSpeedAndSelectsTheAddress=20"
    "FastLineFaults.NoSpoiledReplyIsAcceptedAndThePollGoesOn=18"
    "SnapshotTest.ValuesEqualTheCabinetsRegistersScaled=16"
    "RecordDownloadEndToEnd.SeventyRecordsEqualTheCabinetsLogAndTheEraseEmptiesIt=6"
    "ValueLogTest.LinesHoldTheCabinetsRegistersScaledOncePerInterval=15"
    "LostDeviceTest.PulledCabinetShowsLostWaitsQuietlyAndResumesWhenItComesBack=14"
    "TrendEndToEnd.ALostLinkLeavesAGapAndAPausedPictureStaysUntilResumed=13"
    "RestoreEndToEnd.ThreeChangedRegistersAreListedAndWrittenBack=13"
    "RestoreEndToEnd.ReadBackThatDiffersAndWhatIsNeverTicked=12"
    "ZyrCfgProgram.ViewPicturesInBothLanguages=12"
    "ScanCommand.FindsTheCabinetsAtTheirSpeedAndAddresses=12"
    "ScanCommand.SilentLineEndsWithStatusTwoAndAnEmptyList=12"
    "DownloadTest.FastDownloadOfAPacedLineEqualsTheCabinetsLog=9"
    "Languages/TrendPicture.TheBuiltProgramOpensTheTrendWindow/0=8"
    "Languages/TrendPicture.TheBuiltProgramOpensTheTrendWindow/1=8"
    "RecordFilesEndToEnd.DownloadedRecordsGoThroughACsvFileAndACopyUnchanged=7"
    "SimFaults.ProbabilityWithSeedRepeats=7"
    "RecordWindowProgram.WindowOptionPicturesTheEventRecordWindowInBothLanguages=7"
    "Languages/ProgramTest.DemoRunWritesItsPictureAndKeepsTheSettingsFilesPort/English=7"
    "Languages/ProgramTest.DemoRunWritesItsPictureAndKeepsTheSettingsFilesPort/Chinese=7"
    "TrendEndToEnd.SamplesOfEachCycleAreDrawnReadOutAndExportedAsTheCabinetHoldsThem=6"
    "BackupCommand.EveryRegisterEqualsTheCabinets=6"
    "RecordDetailProgram.TheViewOpensByNameInBothLanguages=6"
    "OptionRunTimeEndToEnd.BaudCodeAndBatteryLimitReachTheCabinet=6"
    "LostDeviceTest.WritePendingWhenTheCabinetVanishesIsDroppedNotSentAfterTheReopen=5"
    "DictTest.AFileJustUnderTheLimitIsRead=4"
    "SimFaults.EachFaultSpoilsOnlyTheCountedReply=4")

# ${out} is TRUE when the test's name matches one of the patterns in the list named patterns.
function(zyr_test_matches test patterns out)
    set(${out} FALSE PARENT_SCOPE)
    foreach(pattern IN LISTS ${patterns})
        if(test MATCHES "${pattern}")
            set(${out} TRUE PARENT_SCOPE)
            return()
        endif()
    endforeach()
endfunction()

foreach(program IN LISTS ZYR_SCHEDULE_PROGRAMS)
    foreach(test IN LISTS ${program}_TESTS)
        zyr_test_matches("${test}" zyr_waiting_tests waits)
        zyr_test_matches("${test}" zyr_clock_tests racesAClock)
        set(resource "cpus:1")
        if(racesAClock)
            set(resource "cpus:1,fuzzers:2")
        elseif(waits)
            set(resource "waits:1")
        endif()
        set_tests_properties("${test}" PROPERTIES RESOURCE_GROUPS "${resource}")
    endforeach()
endforeach()

foreach(entry IN LISTS zyr_test_costs)
    string(REGEX MATCH "^(.*)=([0-9]+)$" unused "${entry}")
    set_tests_properties("${CMAKE_MATCH_1}" PROPERTIES COST "${CMAKE_MATCH_2}")
endforeach()
