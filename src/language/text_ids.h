// The texts of a language file, named by their position in the built-in English file: a
// language file holds its texts in this order, so the values are those positions and never
// change. Texts of the ERRORS and MOREERRORS groups are named by their key, those of the other
// groups by their group and key. Every message, label and status line of the program is one
// of these; the console program's help and usage texts are its own (see cli/command_line).
#pragma once

namespace brisko::language {

enum class TextId : int {
  error = 0,               // "Error!"
  noErrors = 1,            // "no errors!"
  terminating = 2,         // "Terminating brisko."
  noCompiler = 3,          // "Cannot locate the Purebasic compiler."
  noFasm = 4,              // "Cannot locate the FASM executable."
  noPolib = 5,             // "Cannot locate the Polib executable."
  compilerProblem = 6,     // "The PB compiler failed to start."
  fasmProblem = 7,         // "Fasm failed to start."
  polibProblem = 8,        // "Polib failed to start."
  functionLists = 9,       // "Unable to build the PB function lists."
  guiProblem = 10,         // "There was a problem initialising the GUI."
  fileNotFound = 11,       // "File not found."
  invalidFile = 12,        // "Invalid file."
  openingFileError = 13,   // "There was an unexpected problem whilst trying to open the file."
  creatingFileError = 14,  // "Unable to create file."
  outOfMemory = 15,        // "Insufficient memory."
  outputDirectories = 16,  // "Unable to create the output directories."
  noExports = 17,          // "There are no exports within this file."
  unablePbIdeTool = 18,    // "Unable to register brisko as a Purebasic IDE tool."
  alreadyRegistered = 19,  // "brisko is already registered."
  pbIdeRunning = 20,       // "You need to close the Purebasic IDE first."
  // "There was an unexpected problem whilst trying to compile the ASM files."
  asmFilesProblem = 21,
  noAsmFiles = 22,                  // "There are no ASM files to compile."
  guiTitle = 23,                    // "brisko (PB --> .obj)"
  guiCompilerOptions = 24,          // "Compiler options"
  guiThreadsafeOption = 25,         // "Threadsafe option"
  guiInlineAsmOption = 26,          // "Inline ASM option"
  guiUnicodeOption = 27,            // "Unicode option"
  guiBriskoOptions = 28,            // "brisko options"
  guiExportGlobals = 29,            // "Export global variables"
  guiLogFile = 30,                  // "Create log-files"
  guiPbWrapper = 31,                // "Create Purebasic wrapper"
  guiUseExistingAsmFiles = 32,      // "Use existing ASM files"
  guiOutputFormat = 33,             // "Select output format"
  guiSource = 34,                   // "Source"
  guiSelectSource = 35,             // "Select source file"
  guiBrowse = 36,                   // "Browse"
  guiCheckErrors = 37,              // "Check for errors"
  guiSelectDestination = 38,        // "Destination folder"
  guiCancel = 39,                   // "Cancel"
  guiBrisko = 40,                   // "Brisko"
  guiChooseFile = 41,               // "Choose a file to open..."
  guiMsCoff = 42,                   // "MSCOFF object file (.obj)"
  guiMsCoffLib = 43,                // "MSCOFF static library (.lib)"
  guiOkay = 44,                     // "Okay"
  helpaboutTitle = 45,              // "About..."
  menusOptionsPbIde = 46,           // "&Register brisko as a PB IDE tool"
  menusOptionsQuit = 47,            // "&Quit"
  menusHelpAbout = 48,              // "&About"
  objectCompilerError = 49,         // "The compiler reported an error."
  objectNoCompilerError = 50,       // "The compiler reported no errors."
  objectOutputFileNotCreated = 51,  // "Output file not created."
  objectCompiling = 52,             // "Compiling"
  objectFirstPass = 53,  // "Scanning assembly code / creating data sections (if appropriate)"
  objectSplittingAsmFunctions = 54,  // "Splitting assembly code functions ......"
  objectCreatingSourceFile = 55,     // "...creating source file"
  objectCreatingDataSections = 56,   // "Creating data sections"
  objectCreatingMainAsmFile = 57,    // "Creating main ASM file"
  objectCreatingCoffFile = 58,       // "Creating COFF file"
  objectCreatingPbWrapper = 59,      // "Creating Purebasic wrapper"
  objectExternalSymbols = 60,        // "uses the following external functions / symbols :"
  objectFasmError = 61,              // "Fasm reported an error."
  objectFasmUnknownError = 62,       // "Fasm reported an unknown error."
  objectPolibError = 63,             // "Polib reported an error."
  objectPolibUnknownError = 64,      // "Polib reported an unknown error."
  pbwrapperManualAdjustments = 65,   // ";This file may require some manual adjustments."
  // ";The following will cause Purebasic to link in the correct libraries (external and internal)
  // and may require adjustments."
  pbwrapperPurebasicLink = 66,
  pbwrapperDoNotCall = 67,              // ";Under no circumstances call the following procedure!"
  statusbarAwaitingInstructions = 68,   // "Status = awaiting instructions"
  statusbarOpeningFile = 69,            // "Status = choosing a Purebasic source file"
  statusbarCompilingSource = 70,        // "Status = compiling the selected source file."
  statusbarCompilerEnvironment = 71,    // "Status = initialising compiler environment."
  statusbarParsingAssemblyCode = 72,    // "Status = parsing PB generated assembly code."
  statusbarSplittingAsmFunctions = 73,  // "Status = splitting assembly code functions."
  statusbarCreatingObjFiles = 74,       // "Status = creating individual .obj files."
  statusbarCreatingDataSections = 75,   // "Status = creating data sections."
  statusbarCreatingMainAsmFile = 76,    // "Status = creating main ASM file."
  statusbarCreatingPbWrapper = 77,      // "Status = creating Purebasic wrapper."
  // "Check this to create an object file built using PB's threadsafe string libraries."
  tooltipsThreadsafeOption = 78,
  tooltipsInlineAsmOption = 79,  // "Check this to enable the inline ASM compiler option."
  // "Check this to create an object file built using the Unicode api's."
  tooltipsUnicodeOption = 80,
  // "Check this to create an object file which exports all global variables. (All 'public'
  // variables are automatically exported.)"
  tooltipsExportGlobals = 81,
  tooltipsLogFile = 82,    // "Check this to create various log / info files."
  tooltipsPbWrapper = 83,  // "Check this to create a Purebasic wrapper (.pbi file)."
  // "Check this if you have made alterations to the ASM files and wish to skip the compilation."
  tooltipsUseExistingAsmFiles = 84,
  // "Press this button to have the Purebasic compiler scan the source code etc."
  tooltipsCheckErrors = 85,
  // "Use this to select the output format (only .obj is supported at the moment)."
  tooltipsOutputFormat = 86,
  // "3 subfolders will be created by brisko; 'Bin', 'Logs' and 'Source'."
  tooltipsDestinationFolder = 87,
  // Texts added after the first 88; a language file made for those alone gets them in English.
  compilerUnknownError = 88,  // "The compiler reported an unknown error."
  noListing = 89,             // "The compiler wrote no assembly listing."
  destinationBusy = 90,       // "Another conversion is writing into this destination folder."
  // "The Source folder holds the assembly sources of another file. Convert this file afresh, or
  // remove them first."
  foreignSources = 91,
  // "A procedure refers to a label of the main program, which the converted code does not
  // hold."
  mainProgramLabel = 92,
  repeatedExport = 93,  // "Two exported procedures have the same name."
  // "A procedure of a name used before is written under another name:"
  renamedProcedure = 94,
  // Texts of the MORETEXTS group; "%1", "%2" and "%3" stand for the values filled in (see
  // fillIn in language_table.h).
  registeredTool = 95,    // "brisko is now tool %1 of the PureBasic IDE ("%2")."
  statusbarWritten = 96,  // "Status = written: %1"
  lookedForTool = 97,     // "brisko looked for it at %1"
  folderFromOption = 98,  // "The installation folder %1 was named with --pb-folder."
  // "The installation folder %1 comes from the PureBasic IDE's open command in %2, which holds
  // %3"
  folderFromCommand = 99,
  // "There is no PureBasic IDE open command in %1, so the path was taken relative to the
  // current folder."
  noCommand = 100,
  // "The PureBasic IDE's open command in %1 is empty, so the path was taken relative to the
  // current folder."
  emptyCommand = 101,
  // "The PureBasic IDE's open command in %1 names no installation folder (it holds %2), so the
  // path was taken relative to the current folder."
  commandWithoutFolder = 102,
  // "To point brisko at an installation, set %1 to the PureBasic IDE's open command (see the
  // README)."
  pointAtInstallation = 103,
  pbFolderOption = 104,  // "Or name the installation folder with --pb-folder DIR."
  // Texts of the CONVERSIONNOTES group: warnings about the output, and the C header.
  warning = 105,  // "Warning!"
  // "These variables get their initial value from the main program, which the converted code
  // does not run; they start as 0 or an empty string:"
  lostInitialValues = 106,
  guiCHeader = 107,  // "Create C header"
  // "Check this to create a C header (.h file) that declares the exported procedures,
  // variables and arrays for C and C++ programs."
  tooltipsCHeader = 108,
  objectCreatingCHeader = 109,     // "Creating C header"
  statusbarCreatingCHeader = 110,  // "Status = creating C header."
  // Texts of the CHECKS group: what the checks before and after assembling report.
  // "A generated source refers to a symbol that neither the converted code nor the program linking
  // it defines."
  unresolvedSymbol = 111,
  objectDamaged = 112,  // "FASM wrote an object that cannot be read whole."
  // "An object that FASM wrote does not define an exported symbol exactly once."
  objectIncomplete = 113,
  objectCheckingObjects = 114,  // "Checking COFF objects"
  // "%1 objects checked: %2 symbols defined, %3 taken from outside."
  objectCounts = 115,
  // "The Source folder holds a file of yours that the conversion would overwrite. Rename or move it
  // first, or choose another destination."
  userFileInSource = 116,
  // "An object that FASM wrote needs a symbol that neither the output nor the program linking
  // it defines."
  objectUnresolved = 117,
  // "The library is packed by the installation's polib."
  packedByPolib = 118,
  // "The installation holds no polib: brisko packs the library itself."
  packedByBrisko = 119,
  // Texts of the VARIANTS group: builds with and without the thread-safe option and for the
  // other processor's installation, and the wrapper that chooses among them.
  // "An installation's compiler writes code for another processor than the one it was named for."
  installationTarget = 120,
  installationTargetDetail = 121,  // "It was named for %1 code and writes %2 code."
  // "The installation folder %1 was named as the other processor's installation."
  otherFolderNamed = 122,
  pbwrapperNoBuild = 123,    // "%1 was not converted for %2 programs; convert it again with %3."
  buildThreadSafe = 124,     // "thread-safe %1"
  buildNotThreadSafe = 125,  // "non-thread-safe %1"
  variantsOption = 126,      // "both thread variants (--variants)"
  installationOption = 127,  // "an %1 installation (--pb-folder-%1 DIR)"
  statusbarBuilding = 128,   // "Status = building %1."
  objectBuilds = 129,        // "The builds of this run:"
  objectBuildLine = 130,     // "%1 (%2): %3 seconds"
  objectBuildNotMade = 131,  // "%1: not made"
  guiVariants = 132,         // "Both thread variants"
  // "Check this to build the output with and without the threadsafe option in one run; the wrapper
  // imports the build that matches the program that includes it."
  tooltipsVariants = 133,
  guiOtherInstallation = 134,  // "Other processor's PureBasic"
  // "The installation folder of PureBasic for the other processor (x64 beside x86, or x86 beside
  // x64): the output is then built for both. Leave it empty to build for one."
  tooltipsOtherInstallation = 135,
  guiChooseInstallation = 136,  // "Choose the other processor's PureBasic.exe or PBcompiler.exe..."
};

// How many texts the built-in English file holds.
inline constexpr int kBuiltinTextCount = 137;

}  // namespace brisko::language
