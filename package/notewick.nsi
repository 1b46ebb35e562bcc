; notewick.nsi -- the Notewick installer, built by tools/release.sh with
; makensis (NSIS 3):
;   makensis -DVERSION=1.2 -DSTAGE=<folder> -DMAPS=<maps.nsh> -DOUTFILE=<setup.exe> notewick.nsi
; STAGE holds gen_notewick.dll, README.txt, LICENSE.txt and the maps in
; "Notewick Maps" with their file times already set to SOURCE_DATE_EPOCH:
; File records each file's time, so fixed times make the installer the same
; bytes on every build. MAPS defines NOTEWICK_MAPS, which inserts a macro for
; each map's file name, in sorted order.
;
; The installer puts gen_notewick.dll into the Plugins folder of the player's
; folder and the maps into Plugins\Notewick Maps, writes an uninstaller beside
; the DLL and an entry in the list of installed programs. Scripted use:
; setup.exe /S /D=C:\Path\To\Winamp, and notewick-uninstall.exe /S.

!ifndef VERSION | STAGE | MAPS | OUTFILE
  !error "define VERSION, STAGE, MAPS and OUTFILE (tools/release.sh does)"
!endif

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!define PRODUCT "Notewick"
!define PUBLISHER "the Notewick authors"
!define DLL "gen_notewick.dll"
!define UNINSTALLER "notewick-uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Notewick"
!define MAPS_FOLDER "Notewick Maps"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
; The player's folder: where its own installer recorded it, else the usual one.
; /D= on the command line overrides both.
InstallDir "$PROGRAMFILES\Winamp"
InstallDirRegKey HKCU "Software\Winamp" ""
; A file that cannot be written is never skipped with "Ignore".
AllowSkipFiles off
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0.0"
VIFileVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "${MAPS}"

; One map, by its file name: installed from the stage, or removed by name, so
; that files of the user's own in the maps folder stay.
!macro InstallMap FILE
  File "${STAGE}\${MAPS_FOLDER}\${FILE}"
!macroend
!macro RemoveMap FILE
  Delete "$INSTDIR\${MAPS_FOLDER}\${FILE}"
!macroend

!define MUI_ABORTWARNING
!define MUI_PAGE_HEADER_TEXT "Choose the player's folder"
!define MUI_PAGE_HEADER_SUBTEXT "Notewick ${VERSION} goes into the Plugins folder of the player's folder."
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup will put ${DLL} into the Plugins folder of the player's folder below. To use another copy of the player, choose its folder (the one that holds winamp.exe)."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "The player's folder"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "${PRODUCT} ${VERSION} is installed"
!define MUI_FINISHPAGE_TEXT "Restart the player if it is running. Then choose the MIDI input device and channel in the player's preferences, under Plug-ins, General Purpose: $\"Notewick Plug-In v${VERSION}$\".$\r$\n$\r$\nnotewick-README.txt in the Plugins folder has the key map and help."
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

Section "Notewick" SecMain
  SetOutPath "$INSTDIR\Plugins"
  ${IfNot} ${FileExists} "$INSTDIR\winamp.exe"
    DetailPrint "Warning: no winamp.exe in $INSTDIR"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$INSTDIR does not hold winamp.exe, so it may not be the player's folder.$\r$\n$\r$\nSetup goes on and puts ${DLL} into $INSTDIR\Plugins." /SD IDOK
  ${EndIf}

  ; With "try" a DLL that cannot be overwritten (the running player holds
  ; it) sets the error flag instead of showing NSIS's Abort/Retry/Ignore box
  ; or scheduling a replacement at the next reboot.
  SetOverwrite try
  retry:
  ClearErrors
  File "${STAGE}\${DLL}"
  ${If} ${Errors}
    DetailPrint "Could not write $INSTDIR\Plugins\${DLL}"
    MessageBox MB_RETRYCANCEL|MB_ICONSTOP "Setup cannot write$\r$\n$INSTDIR\Plugins\${DLL}$\r$\n$\r$\nThe player is probably running and holds the plug-in. Close the player, then choose Retry. Cancel stops Setup; nothing is changed." /SD IDCANCEL IDRETRY retry
    Abort "Setup stopped: ${DLL} could not be written; close the player and run Setup again."
  ${EndIf}
  SetOverwrite on
  File "/oname=notewick-README.txt" "${STAGE}\README.txt"
  SetOutPath "$INSTDIR\Plugins\${MAPS_FOLDER}"
  !insertmacro NOTEWICK_MAPS InstallMap
  SetOutPath "$INSTDIR\Plugins"

  WriteUninstaller "$INSTDIR\Plugins\${UNINSTALLER}"
  SectionGetSize ${SecMain} $0
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION} (MIDI keyboard plug-in for Winamp)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR\Plugins"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\Plugins\${UNINSTALLER}$\""
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\Plugins\${UNINSTALLER}$\" /S"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The uninstaller runs from the Plugins folder: $INSTDIR is that folder.
; plugin.ini stays: it holds the user's settings, and other plug-ins' too.
; The maps folder goes only when no file of the user's is left in it.
Section "Uninstall"
  retry:
  ClearErrors
  Delete "$INSTDIR\${DLL}"
  ${If} ${FileExists} "$INSTDIR\${DLL}"
    DetailPrint "Could not remove $INSTDIR\${DLL}"
    MessageBox MB_RETRYCANCEL|MB_ICONSTOP "The uninstaller cannot remove$\r$\n$INSTDIR\${DLL}$\r$\n$\r$\nThe player is probably running and holds the plug-in. Close the player, then choose Retry." /SD IDCANCEL IDRETRY retry
    Abort "Uninstall stopped: ${DLL} could not be removed; close the player and run the uninstaller again."
  ${EndIf}
  Delete "$INSTDIR\notewick-README.txt"
  !insertmacro NOTEWICK_MAPS RemoveMap
  RMDir "$INSTDIR\${MAPS_FOLDER}"
  Delete "$INSTDIR\${UNINSTALLER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
