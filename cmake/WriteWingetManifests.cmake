# cmake -DINSTALLER=ZIL_Setup.exe -DOUTPUT_DIR=winget -DSOURCE_DIR=<tree> [-DVERSION=1.0.0]
#       [-DINSTALLER_URL=https://...] -P WriteWingetManifests.cmake
# Writes the winget manifest set of the setup program (version, default locale and installer
# files, schema 1.6) with the installer's SHA-256. Every fact comes from where the program takes
# it: the product's name and publisher from res/resource.h, the exit codes from
# setup/SetupExitCode.h, the entry's key from setup/ProductPaths.h, and the version from the
# installer itself, which carries it as the build's ZIL_PRODUCT_VERSION (res/ProductVersion.h).
# A signed installer has another hash: run this again on the signed file before publishing. A
# VERSION given is only checked: an installer that installs another version is refused.
foreach(required INSTALLER OUTPUT_DIR SOURCE_DIR)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "WriteWingetManifests.cmake needs -D${required}=...")
    endif()
endforeach()
if(NOT DEFINED INSTALLER_URL)
    set(INSTALLER_URL "https://www.example.com/zil/ZIL_Setup.exe")
endif()

function(read_define file name out)
    file(STRINGS ${file} line REGEX "^#define ${name} \"[^\"]*\"$")
    if(NOT line)
        message(FATAL_ERROR "${file} has no #define ${name} \"...\"")
    endif()
    string(REGEX REPLACE "^#define ${name} \"([^\"]*)\"$" "\\1" value "${line}")
    set(${out} "${value}" PARENT_SCOPE)
endfunction()
read_define(${SOURCE_DIR}/res/resource.h ZIL_PRODUCT_NAME name)
read_define(${SOURCE_DIR}/res/resource.h ZIL_PUBLISHER publisher)

# The version the installer installs, from the text in the program's data that names it (the
# archive behind the program is deflated and a signature holds no such text, so a second,
# different one means a file to be looked at, not one to guess from).
read_define(${SOURCE_DIR}/res/ProductVersion.h.in ZIL_PRODUCT_VERSION_MARK_PREFIX mark)
file(STRINGS ${INSTALLER} marks REGEX "${mark}[0-9]+(\\.[0-9]+)+")
list(TRANSFORM marks REPLACE ".*${mark}([0-9]+(\\.[0-9]+)+).*" "\\1")
list(REMOVE_DUPLICATES marks)
list(LENGTH marks mark_count)
if(NOT mark_count EQUAL 1)
    message(FATAL_ERROR "${INSTALLER} names ${mark_count} product versions (\"${marks}\"), not one:"
                        " is it a ZIL setup program?")
endif()
set(installed_version "${marks}")
if(DEFINED VERSION AND NOT VERSION STREQUAL installed_version)
    message(FATAL_ERROR "${INSTALLER} installs ZIL ${installed_version}, not ${VERSION}")
endif()

# winget's ProductCode for an exe installer is the name of the Uninstall key the program
# writes: the last name of SETUP_ENTRY_KEY.
file(READ ${SOURCE_DIR}/setup/ProductPaths.h paths)
if(NOT paths MATCHES "SETUP_ENTRY_KEY\\[\\] =[ \n]*\"([^\"]*)\";")
    message(FATAL_ERROR "setup/ProductPaths.h has no SETUP_ENTRY_KEY[] = \"...\";")
endif()
string(REGEX REPLACE "^.*\\\\" "" product_code "${CMAKE_MATCH_1}")

# What each exit code means to winget, by the code's name in the program. 1638 comes only after
# the run did its work (ZIL V1.04 is still there beside it): a success, not "already installed",
# which winget would report as a failed install.
set(response_SETUP_EXIT_CLOSED cancelledByUser)
set(response_SETUP_EXIT_FAILURE contactSupport)
set(response_SETUP_EXIT_BAD_ARCHIVE contactSupport)
set(response_SETUP_EXIT_ALREADY_RUNNING installInProgress)
set(response_SETUP_EXIT_PREVIOUS_VERSION success)
set(response_SETUP_EXIT_USAGE invalidParameter)
set(response_SETUP_EXIT_RESTART_REQUIRED rebootRequiredToFinish)
file(STRINGS ${SOURCE_DIR}/setup/SetupExitCode.h code_lines REGEX "^ *SETUP_EXIT_[A-Z_]+ = [0-9]+,")
set(return_codes "")
set(success_codes "")  # none, or a list under its key
foreach(line IN LISTS code_lines)
    string(REGEX REPLACE "^ *(SETUP_EXIT_[A-Z_]+) = ([0-9]+),.*" "\\1;\\2" pair "${line}")
    list(GET pair 0 code_name)
    list(GET pair 1 code)
    if(code_name STREQUAL "SETUP_EXIT_SUCCESS")
        continue()
    endif()
    if(NOT DEFINED response_${code_name})
        message(FATAL_ERROR "${code_name} has no meaning for winget in WriteWingetManifests.cmake")
    endif()
    if(response_${code_name} STREQUAL "success")
        if(NOT success_codes)
            set(success_codes "InstallerSuccessCodes:\n")
        endif()
        string(APPEND success_codes "  - ${code}\n")
    else()
        string(APPEND return_codes "  - InstallerReturnCode: ${code}\n"
                                   "    ReturnResponse: ${response_${code_name}}\n")
    endif()
endforeach()

file(SHA256 ${INSTALLER} hash)
string(TOUPPER "${hash}" hash)
set(id "${publisher}.${name}")
# Versions quoted: to a YAML 1.1 reader an unquoted 1.10 is the number 1.1.
string(CONCAT head "# Made by the build from the setup program it packed.\n"
              "PackageIdentifier: ${id}\nPackageVersion: \"${installed_version}\"\n")
set(tail "ManifestVersion: \"1.6.0\"\n")

file(MAKE_DIRECTORY ${OUTPUT_DIR})
file(WRITE ${OUTPUT_DIR}/${id}.yaml
     "${head}DefaultLocale: en-US\nManifestType: version\n${tail}")
file(WRITE ${OUTPUT_DIR}/${id}.locale.en-US.yaml
     "${head}PackageLocale: en-US\nPublisher: ${publisher}\nPackageName: ${name}\n"
     "License: Proprietary\n"
     "ShortDescription: The ${name} service and its WMI classes for Windows.\n"
     "ManifestType: defaultLocale\n${tail}")
file(WRITE ${OUTPUT_DIR}/${id}.installer.yaml
     "${head}InstallerType: exe\nScope: machine\n"
     "InstallModes:\n  - silent\n  - silentWithProgress\n"
     "InstallerSwitches:\n  Silent: /I\n  SilentWithProgress: /I\n  Log: /LOG=\"<LOGPATH>\"\n"
     "${success_codes}"
     "ExpectedReturnCodes:\n${return_codes}"
     "UpgradeBehavior: install\nElevationRequirement: elevatesSelf\n"
     "ProductCode: ${product_code}\n"
     # No DisplayVersion: the entry's is the package's version, which winget's community
     # repository asks to be left out here.
     "AppsAndFeaturesEntries:\n  - DisplayName: ${name}\n    Publisher: ${publisher}\n"
     "    ProductCode: ${product_code}\n"
     "Installers:\n  - Architecture: x86\n    InstallerUrl: ${INSTALLER_URL}\n"
     "    InstallerSha256: ${hash}\n"
     "ManifestType: installer\n${tail}")
