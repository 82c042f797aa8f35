; The Windows installer of the screen saver, made on Linux by makensis.
; installer/CMakeLists.txt passes the defines:
;   VERSION          the version as people read it ("0.03")
;   VERSION_NUMBERS  the same as the four numbers of a VERSIONINFO ("0.3.0.0")
;   SAVER            the built miruton.scr
;   ICON             the saver's icon
;   OUTFILE          the installer to write
;
; It copies the saver into the 64-bit system folder (where the screen-saver
; settings list it, also after a reboot), selects it as the current user's
; screen saver, remembers the saver selected before and registers the
; uninstaller in Add/Remove Programs. The uninstaller removes the saver and
; its entry and gives the earlier selection back.

Target amd64-unicode          ; 64-bit: $SYSDIR is System32, never SysWOW64
SetCompressor /SOLID lzma
SetDateSave off               ; no file times inside: the same inputs give the same bytes
ManifestDPIAware true
RequestExecutionLevel admin   ; System32 and HKLM

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define SAVER_FILE "miruton.scr"
!define PUBLISHER "Tessera Works"
!define PRODUCT_EN "Miruton Screen Saver"
!define PRODUCT_JA "みるとんの旅 スクリーンセーバー"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Miruton"
!define DESKTOP_KEY "Control Panel\Desktop"
; Per user: the saver that was selected before this one was installed.
!define MEMORY_KEY "Software\Tessera Works\Miruton"
!define SPI_SETSCREENSAVEACTIVE 17
!define SPIF_SENDCHANGE 2

Name "$(ProductName)"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Miruton"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PUBLISHER}"

VIProductVersion "${VERSION_NUMBERS}"
VIFileVersion "${VERSION_NUMBERS}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "$(WelcomeText)"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$(FinishText)"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(OpenSettings)"
!define MUI_FINISHPAGE_RUN_FUNCTION OpenSaverSettings
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH   ; asks for a restart when the saver was in use

; The system's language chooses; the first one is for all other languages.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

LangString ProductName ${LANG_ENGLISH} "${PRODUCT_EN}"
LangString ProductName ${LANG_JAPANESE} "${PRODUCT_JA}"
LangString WelcomeText ${LANG_ENGLISH} "This installs $(^NameDA) ${VERSION} into the Windows system folder and makes it your screen saver.$\r$\n$\r$\nUninstalling it gives you back the screen saver you use now."
LangString WelcomeText ${LANG_JAPANESE} "「$(^NameDA)」${VERSION} を Windows のシステム フォルダーにインストールし、お使いのスクリーンセーバーとして選択します。$\r$\n$\r$\nアンインストールすると、いまお使いのスクリーンセーバーに戻ります。"
LangString FinishText ${LANG_ENGLISH} "$(^NameDA) is installed and selected as your screen saver."
LangString FinishText ${LANG_JAPANESE} "「$(^NameDA)」をインストールし、スクリーンセーバーとして選択しました。"
LangString OpenSettings ${LANG_ENGLISH} "Open the screen saver settings"
LangString OpenSettings ${LANG_JAPANESE} "スクリーンセーバーの設定を開く"

!macro VERSION_KEYS LANG PRODUCT SETUP
  VIAddVersionKey /LANG=${LANG} "ProductName" "${PRODUCT}"
  VIAddVersionKey /LANG=${LANG} "ProductVersion" "${VERSION}"
  VIAddVersionKey /LANG=${LANG} "FileDescription" "${SETUP}"
  VIAddVersionKey /LANG=${LANG} "FileVersion" "${VERSION}"
  VIAddVersionKey /LANG=${LANG} "CompanyName" "${PUBLISHER}"
  VIAddVersionKey /LANG=${LANG} "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}"
  VIAddVersionKey /LANG=${LANG} "OriginalFilename" "miruton-setup.exe"
!macroend
!insertmacro VERSION_KEYS ${LANG_ENGLISH} "${PRODUCT_EN}" "${PRODUCT_EN} Setup"
!insertmacro VERSION_KEYS ${LANG_JAPANESE} "${PRODUCT_JA}" "${PRODUCT_JA} セットアップ"

; SET_SAVER_ACTIVE VALUE: the system's own switch follows ScreenSaveActive at
; once, and open settings windows hear of the change.
!macro SET_SAVER_ACTIVE VALUE
  System::Call 'user32::SystemParametersInfoW(i ${SPI_SETSCREENSAVEACTIVE}, i ${VALUE}, p 0, i ${SPIF_SENDCHANGE})'
!macroend

Section "-Saver" SectionSaver
  SetOutPath "$SYSDIR"
  File "/oname=${SAVER_FILE}" "${SAVER}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  Call SelectSaver
  Call RegisterUninstaller
SectionEnd

Function SelectSaver
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${GetFileName} $0 $1
  ; Installed again over itself: what was remembered the first time stays.
  ${If} $1 != "${SAVER_FILE}"
    ReadRegStr $2 HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
    WriteRegStr HKCU "${MEMORY_KEY}" "PreviousScreenSaver" $0         ; empty: none
    WriteRegStr HKCU "${MEMORY_KEY}" "PreviousScreenSaveActive" $2    ; empty: not set
  ${EndIf}
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$SYSDIR\${SAVER_FILE}"
  WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
  !insertmacro SET_SAVER_ACTIVE 1
FunctionEnd

Function RegisterUninstaller
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "$(ProductName)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$SYSDIR\${SAVER_FILE},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; Kilobytes: the saver in the system folder and the uninstaller's folder.
  SectionGetSize ${SectionSaver} $0
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  IntOp $0 $0 + $1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
FunctionEnd

Function OpenSaverSettings
  Exec '"$SYSDIR\control.exe" desk.cpl,,@screensaver'
FunctionEnd

Section "Uninstall"
  Delete /REBOOTOK "$SYSDIR\${SAVER_FILE}"
  Call un.GiveBackSaver
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd

; Only while this saver is still the selected one: a saver the user has chosen
; since stays.
Function un.GiveBackSaver
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${GetFileName} $0 $1
  ${If} $1 == "${SAVER_FILE}"
    ReadRegStr $2 HKCU "${MEMORY_KEY}" "PreviousScreenSaver"
    ${If} $2 == ""
      DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${Else}
      WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" $2
    ${EndIf}
    ClearErrors
    ReadRegStr $3 HKCU "${MEMORY_KEY}" "PreviousScreenSaveActive"
    ${IfNot} ${Errors}
      ${If} $3 == ""
        DeleteRegValue HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
      ${Else}
        WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" $3
      ${EndIf}
    ${EndIf}
    ReadRegStr $3 HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
    ${If} $3 == "1"
      !insertmacro SET_SAVER_ACTIVE 1
    ${Else}
      !insertmacro SET_SAVER_ACTIVE 0
    ${EndIf}
  ${EndIf}
  DeleteRegKey HKCU "${MEMORY_KEY}"
  DeleteRegKey /ifempty HKCU "Software\${PUBLISHER}"
FunctionEnd
