# Installs the build into DEST_DIR (as DESTDIR, prefix /usr) and checks that the installed tree
# works: its files are there, the installed batch interpreter runs a batch file, the installed
# program starts in an emulator folder, and the end-to-end suite, placed beside the installed
# program, finds the unzip library and the interpreter there.
cmake_minimum_required(VERSION 3.25)

function(fail message)
  message(FATAL_ERROR "install_tree: ${message}")
endfunction()

file(REMOVE_RECURSE ${DEST_DIR})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${DEST_DIR}
          ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  fail("cmake --install failed: ${out}${err}")
endif()

set(bin ${DEST_DIR}/usr/${BINDIR})
foreach(file
    ${bin}/startvelk ${bin}/UNZIPLIB.DLL ${bin}/startvelk-batch ${bin}/startvelk-console
    ${DEST_DIR}/usr/${DATADIR}/metainfo/org.example.startvelk.metainfo.xml
    ${DEST_DIR}/usr/${DATADIR}/applications/startvelk.desktop
    ${DEST_DIR}/usr/${DATADIR}/startvelk/StartVELK.txt
    ${DEST_DIR}/usr/${DATADIR}/startvelk/StartVELKFaq.txt
    ${DEST_DIR}/usr/${DATADIR}/icons/hicolor/scalable/apps/startvelk.svg)
  if(NOT EXISTS ${file})
    fail("${file} was not installed")
  endif()
endforeach()

file(READ ${DEST_DIR}/usr/${DATADIR}/applications/startvelk.desktop desktop)
foreach(line "[Desktop Entry]" "Type=Application" "Name=StartVELK" "Exec=startvelk" "Icon=startvelk")
  string(FIND "${desktop}" "${line}\n" at)
  if(at LESS 0)
    fail("the desktop entry lacks \"${line}\"")
  endif()
endforeach()
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
  execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${DEST_DIR}/usr/${DATADIR}/applications/startvelk.desktop
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    fail("desktop-file-validate: ${out}${err}")
  endif()
endif()

# An emulator folder with a recording emulator.
set(emu ${DEST_DIR}/emulator)
file(MAKE_DIRECTORY ${emu}/mygame)
file(WRITE ${emu}/velk.exe "#!/bin/sh\nprintf '%s\\n' \"$@\" > args.txt\n")
file(CHMOD ${emu}/velk.exe PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
file(WRITE ${emu}/readme.txt "VELK\r\n\r\ngameslist:\r\nMy Game    mygame\r\n")
file(WRITE ${emu}/mygame/mygame.vlk "driver")
string(ASCII 13 cr)
file(WRITE ${emu}/batch.bat
  "@echo off${cr}\necho Starting VELK with romset %1 .....${cr}\nvelk.exe %1 %2 %3 %4 %5 > VELKStart.txt${cr}\n")

execute_process(COMMAND ${bin}/startvelk-batch batch.bat mygame -v -n WORKING_DIRECTORY ${emu}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(READ ${emu}/args.txt args)
if(NOT rc EQUAL 0 OR NOT args STREQUAL "mygame\n-v\n-n\n")
  fail("the installed interpreter did not run the emulator: ${rc} ${out}${err} [${args}]")
endif()

# The installed program starts, writes its batch file and keeps running until it is stopped; a
# stop that lets it close its window also saves the settings and removes the batch file again.
file(REMOVE ${emu}/batch.bat)
set(ENV{QT_QPA_PLATFORM} offscreen)
execute_process(COMMAND timeout -k 3 -s TERM 5 ${bin}/startvelk
                WORKING_DIRECTORY ${emu} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
# 124: stopped by the signal; 137 or "killed": a box of the first start-up kept it from closing.
if(NOT rc MATCHES "^(124|137)$" AND NOT rc MATCHES "[Kk]illed")
  fail("the installed program ended by itself (${rc}): ${out}${err}")
endif()
if(NOT EXISTS ${emu}/batch.bat AND NOT EXISTS ${emu}/StartVELK.ini)
  fail("the installed program did not get through its start-up")
endif()

if(E2E_TESTS)
  # ProgramDir() of a program in the installed bin folder is that folder: the suite placed there
  # looks for UNZIPLIB.DLL and startvelk-batch exactly where the installed program does.
  get_filename_component(name ${E2E_TESTS} NAME)
  file(COPY ${E2E_TESTS} DESTINATION ${bin})
  execute_process(COMMAND ${bin}/${name} zipStartExtractsRunsAndCleansUp installedStart
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  file(REMOVE ${bin}/${name})
  if(NOT rc EQUAL 0)
    fail("the end-to-end suite beside the installed program failed:\n${out}${err}")
  endif()
endif()
message(STATUS "install_tree: the installed tree works")
