// Indices of the texts of a language file, in the order of the built-in English file.
// Every message, label and status line of the program is named by one of these.
#pragma once

namespace brisko::language {

inline constexpr int kErrorsError = 0;            // "Error!"
inline constexpr int kErrorsNoErrors = 1;         // "no errors!"
inline constexpr int kErrorsTerminating = 2;      // "Terminating brisko."
inline constexpr int kErrorsNocompiler = 3;       // "Cannot locate the Purebasic compiler."
inline constexpr int kErrorsNoFasm = 4;           // "Cannot locate the FASM executable."
inline constexpr int kErrorsNoPolib = 5;          // "Cannot locate the Polib executable."
inline constexpr int kErrorsCompilerProblem = 6;  // "The PB compiler failed to start."
inline constexpr int kErrorsFasmProblem = 7;      // "Fasm failed to start."
inline constexpr int kErrorsPolibProblem = 8;     // "Polib failed to start."
inline constexpr int kErrorsFunctionLists = 9;    // "Unable to build the PB function lists."
inline constexpr int kErrorsGuiProblem = 10;      // "There was a problem initialising the GUI."
inline constexpr int kErrorsFileNotFound = 11;    // "File not found."
inline constexpr int kErrorsInvalidFile = 12;     // "Invalid file."
inline constexpr int kErrorsOpeningFileError =
    13;  // "There was an unexpected problem whilst trying to open the file."
inline constexpr int kErrorsCreatingFileError = 14;  // "Unable to create file."
inline constexpr int kErrorsOutOfMemory = 15;        // "Insufficient memory."
inline constexpr int kErrorsOutputDirectories = 16;  // "Unable to create the output directories."
inline constexpr int kErrorsNoExports = 17;          // "There are no exports within this file."
inline constexpr int kErrorsUnablePBIDETool =
    18;  // "Unable to register brisko as a Purebasic IDE tool."
inline constexpr int kErrorsAlreadyRegistered = 19;  // "brisko is already registered."
inline constexpr int kErrorsPBIDERunning = 20;       // "You need to close the Purebasic IDE first."
inline constexpr int kErrorsASMFilesProblem =
    21;  // "There was an unexpected problem whilst trying to compile the ASM files."
inline constexpr int kErrorsNoASMFiles = 22;            // "There are no ASM files to compile."
inline constexpr int kGuiTitle = 23;                    // "brisko (PB --> .obj)"
inline constexpr int kGuiCompilerOptions = 24;          // "Compiler options"
inline constexpr int kGuiThreadsafeOption = 25;         // "Threadsafe option"
inline constexpr int kGuiInlineASMOption = 26;          // "Inline ASM option"
inline constexpr int kGuiUnicodeOption = 27;            // "Unicode option"
inline constexpr int kGuiBriskoOptions = 28;            // "brisko options"
inline constexpr int kGuiExportGlobals = 29;            // "Export global variables"
inline constexpr int kGuiLogFile = 30;                  // "Create log-files"
inline constexpr int kGuiPbWrapper = 31;                // "Create Purebasic wrapper"
inline constexpr int kGuiUseExistingASMFiles = 32;      // "Use existing ASM files"
inline constexpr int kGuiOutputFormat = 33;             // "Select output format"
inline constexpr int kGuiSource = 34;                   // "Source"
inline constexpr int kGuiSelectSource = 35;             // "Select source file"
inline constexpr int kGuiBrowse = 36;                   // "Browse"
inline constexpr int kGuiCheckErrors = 37;              // "Check for errors"
inline constexpr int kGuiSelectDestination = 38;        // "Destination folder"
inline constexpr int kGuiCancel = 39;                   // "Cancel"
inline constexpr int kGuiBrisko = 40;                   // "Brisko"
inline constexpr int kGuiChooseFile = 41;               // "Choose a file to open..."
inline constexpr int kGuiMSCOFF = 42;                   // "MSCOFF object file (.obj)"
inline constexpr int kGuiMSCOFFLIB = 43;                // "MSCOFF static library (.lib)"
inline constexpr int kGuiOkay = 44;                     // "Okay"
inline constexpr int kHelpaboutTitle = 45;              // "About..."
inline constexpr int kMenusOptionsPBIDE = 46;           // "&Register brisko as a PB IDE tool"
inline constexpr int kMenusOptionsQuit = 47;            // "&Quit"
inline constexpr int kMenusHelpAbout = 48;              // "&About"
inline constexpr int kObjectCompilerError = 49;         // "The compiler reported an error."
inline constexpr int kObjectNoCompilerError = 50;       // "The compiler reported no errors."
inline constexpr int kObjectOutputFileNotCreated = 51;  // "Output file not created."
inline constexpr int kObjectCompiling = 52;             // "Compiling"
inline constexpr int kObjectFirstPass =
    53;  // "Scanning assembly code / creating data sections (if appropriate)"
inline constexpr int kObjectSplittingASMFunctions =
    54;                                               // "Splitting assembly code functions ......"
inline constexpr int kObjectCreatingSourceFile = 55;  // "...creating source file"
inline constexpr int kObjectCreatingDataSections = 56;  // "Creating data sections"
inline constexpr int kObjectCreatingMainASMFile = 57;   // "Creating main ASM file"
inline constexpr int kObjectCreatingCOFFfile = 58;      // "Creating COFF file"
inline constexpr int kObjectCreatingPBWrapper = 59;     // "Creating Purebasic wrapper"
inline constexpr int kObjectExternalSymbols =
    60;                                      // "uses the following external functions / symbols :"
inline constexpr int kObjectFasmError = 61;  // "Fasm reported an error."
inline constexpr int kObjectFasmUnknownError = 62;   // "Fasm reported an unknown error."
inline constexpr int kObjectPolibError = 63;         // "Polib reported an error."
inline constexpr int kObjectPolibUnknownError = 64;  // "Polib reported an unknown error."
inline constexpr int kPbwrapperManualAdjustments =
    65;  // ";This file may require some manual adjustments."
inline constexpr int kPbwrapperPurebasicLink =
    66;  // ";The following will cause Purebasic to link in the correct libraries (external and
         // internal) and may require adjustments."
inline constexpr int kPbwrapperDoNotCall =
    67;  // ";Under no circumstances call the following procedure!"
inline constexpr int kStatusbarAwaitingInstructions = 68;  // "Status = awaiting instructions"
inline constexpr int kStatusbarOpeningFile = 69;  // "Status = choosing a Purebasic source file"
inline constexpr int kStatusbarCompilingSource =
    70;  // "Status = compiling the selected source file."
inline constexpr int kStatusbarCompilerEnvironment =
    71;  // "Status = initialising compiler environment."
inline constexpr int kStatusbarParsingAssemblyCode =
    72;  // "Status = parsing PB generated assembly code."
inline constexpr int kStatusbarSplittingASMFunctions =
    73;  // "Status = splitting assembly code functions."
inline constexpr int kStatusbarCreatingOBJFiles = 74;  // "Status = creating individual .obj files."
inline constexpr int kStatusbarCreatingDataSections = 75;  // "Status = creating data sections."
inline constexpr int kStatusbarCreatingMainASMFile = 76;   // "Status = creating main ASM file."
inline constexpr int kStatusbarCreatingPBWrapper = 77;     // "Status = creating Purebasic wrapper."
inline constexpr int kTooltipsThreadsafeOption =
    78;  // "Check this to create an object file built using PB's threadsafe string libraries."
inline constexpr int kTooltipsInlineASMOption =
    79;  // "Check this to enable the inline ASM compiler option."
inline constexpr int kTooltipsUnicodeOption =
    80;  // "Check this to create an object file built using the Unicode api's."
inline constexpr int kTooltipsExportGlobals =
    81;  // "Check this to create an object file which exports all global variables. (All 'public'
         // variables are automatically exported.)"
inline constexpr int kTooltipsLogFile = 82;  // "Check this to create various log / info files."
inline constexpr int kTooltipsPbWrapper =
    83;  // "Check this to create a Purebasic wrapper (.pbi file)."
inline constexpr int kTooltipsUseExistingASMFiles =
    84;  // "Check this if you have made alterations to the ASM files and wish to skip the
         // compilation."
inline constexpr int kTooltipsCheckErrors =
    85;  // "Press this button to have the Purebasic compiler scan the source code etc."
inline constexpr int kTooltipsOutputFormat =
    86;  // "Use this to select the output format (only .obj is supported at the moment)."
inline constexpr int kTooltipsDestinationFolder =
    87;  // "3 subfolders will be created by brisko; 'Bin', 'Logs' and 'Source'."
// Texts added after the first 88; a language file made for those alone gets them in English.
inline constexpr int kMoreerrorsCompilerUnknownError =
    88;                                          // "The compiler reported an unknown error."
inline constexpr int kMoreerrorsNoListing = 89;  // "The compiler wrote no assembly listing."
inline constexpr int kMoreerrorsDestinationBusy =
    90;  // "Another conversion is writing into this destination folder."
inline constexpr int kMoreerrorsForeignSources =
    91;  // "The Source folder holds the assembly sources of another file. Convert this file
         // afresh, or remove them first."
inline constexpr int kBuiltinTextCount = 92;

}  // namespace brisko::language
