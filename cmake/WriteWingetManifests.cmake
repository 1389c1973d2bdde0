# cmake -DINSTALLER=ZIL_Setup.exe -DOUTPUT_DIR=winget -DVERSION=1.0.0 -DSOURCE_DIR=<tree>
#       [-DINSTALLER_URL=https://...] -P WriteWingetManifests.cmake
# Writes the winget manifest set of the setup program (version, default locale and installer
# files, schema 1.6) with the installer's SHA-256. Every fact comes from where the program takes
# it: the product's name and publisher from res/resource.h, the exit codes from
# setup/SetupExitCode.h, the version from the build's ZIL_PRODUCT_VERSION. A signed installer
# has another hash: run this again on the signed file before publishing.
foreach(required INSTALLER OUTPUT_DIR VERSION SOURCE_DIR)
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

# What each exit code means to winget, by the code's name in the program.
set(response_SETUP_EXIT_CLOSED cancelledByUser)
set(response_SETUP_EXIT_FAILURE contactSupport)
set(response_SETUP_EXIT_BAD_ARCHIVE contactSupport)
set(response_SETUP_EXIT_ALREADY_RUNNING installInProgress)
set(response_SETUP_EXIT_PREVIOUS_VERSION alreadyInstalled)
set(response_SETUP_EXIT_USAGE invalidParameter)
set(response_SETUP_EXIT_RESTART_REQUIRED rebootRequiredToFinish)
file(STRINGS ${SOURCE_DIR}/setup/SetupExitCode.h code_lines REGEX "^ *SETUP_EXIT_[A-Z_]+ = [0-9]+,")
set(return_codes "")
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
    string(APPEND return_codes "  - InstallerReturnCode: ${code}\n"
                               "    ReturnResponse: ${response_${code_name}}\n")
endforeach()

file(SHA256 ${INSTALLER} hash)
string(TOUPPER "${hash}" hash)
set(id "${publisher}.${name}")
set(head "# Made by the build from the setup program it packed.\nPackageIdentifier: ${id}\nPackageVersion: ${VERSION}\n")
set(tail "ManifestVersion: 1.6.0\n")

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
     "InstallerSwitches:\n  Silent: /I\n  SilentWithProgress: /I\n"
     "ExpectedReturnCodes:\n${return_codes}"
     "UpgradeBehavior: install\nElevationRequirement: elevatesSelf\n"
     "AppsAndFeaturesEntries:\n  - DisplayName: ${name}\n    Publisher: ${publisher}\n"
     "    DisplayVersion: ${VERSION}\n"
     "Installers:\n  - Architecture: x86\n    InstallerUrl: ${INSTALLER_URL}\n"
     "    InstallerSha256: ${hash}\n"
     "ManifestType: installer\n${tail}")
