# The Windows programs' resources (app/windows/): the icon drawn at build time
# (PICTOMILL_WINDOWS_ICON, which build-windows.sh makes with the native
# pictomill-icon-files, as the cross build cannot run that tool), a manifest
# and the version from the project's.
set(PICTOMILL_WINDOWS_ICON "" CACHE FILEPATH "The programs' .ico (pictomill-icon-files ico FILE)")

# pictomill_add_windows_resources(TARGET GUI|CONSOLE DESCRIPTION)
# GUI: per-monitor DPI aware (v2, with the older per-monitor setting where v2
# is unknown) and the version-6 common controls; both: long paths, asInvoker,
# Windows 10 and 11.
function(pictomill_add_windows_resources target kind description)
  set(PICTOMILL_RESOURCE_NAME ${target})
  set(PICTOMILL_RESOURCE_DESCRIPTION ${description})
  if(kind STREQUAL "GUI")
    set(PICTOMILL_MANIFEST_DEPENDENCY [=[  <dependency>
    <dependentAssembly>
      <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>
    </dependentAssembly>
  </dependency>]=])
    set(PICTOMILL_MANIFEST_DPI [=[      <dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>
      <dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2, PerMonitor</dpiAwareness>]=])
  else()
    set(PICTOMILL_MANIFEST_DEPENDENCY "")
    set(PICTOMILL_MANIFEST_DPI "")
  endif()
  set(folder ${CMAKE_BINARY_DIR}/resources/${target})
  set(manifest ${folder}/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/app/windows/pictomill.manifest.in ${manifest} @ONLY)
  set(PICTOMILL_RC_MANIFEST ${manifest})
  if(PICTOMILL_WINDOWS_ICON)
    # Resource 1: the first icon group, the one Explorer and the window take.
    set(PICTOMILL_RC_ICON "1 ICON \"${PICTOMILL_WINDOWS_ICON}\"")
  else()
    message(WARNING "PICTOMILL_WINDOWS_ICON is not set: ${target}.exe gets no icon")
    set(PICTOMILL_RC_ICON "")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/app/windows/pictomill.rc.in ${folder}/${target}.rc @ONLY)
  set_property(SOURCE ${folder}/${target}.rc APPEND PROPERTY OBJECT_DEPENDS ${manifest} ${PICTOMILL_WINDOWS_ICON})
  target_sources(${target} PRIVATE ${folder}/${target}.rc)
endfunction()
