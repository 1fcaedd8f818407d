# cmake -DIN=... -DOUT=... -DPICTOMILL_DESKTOP_ID=... -DPROJECT_VERSION=...
#       -DPICTOMILL_RELEASE_DATE=... [-DSCREENSHOT_URL=...] -P metainfo.cmake
# Writes the AppStream file. AppStream takes screenshots only as web addresses,
# and the project has none yet: without SCREENSHOT_URL (the folder on the web
# that holds docs/screenshots) the file says so instead of naming one.
if(SCREENSHOT_URL)
  set(PICTOMILL_SCREENSHOTS "  <screenshots>
    <screenshot type=\"default\">
      <caption>A single picture: the ten format buttons</caption>
      <caption xml:lang=\"zh-CN\">单个转换：十个格式按钮</caption>
      <image>${SCREENSHOT_URL}/page1.png</image>
    </screenshot>
    <screenshot>
      <caption>A whole folder: source, target and progress</caption>
      <caption xml:lang=\"zh-CN\">批量转换：源文件夹、目标文件夹和进度</caption>
      <image>${SCREENSHOT_URL}/page2.png</image>
    </screenshot>
  </screenshots>")
else()
  set(PICTOMILL_SCREENSHOTS "  <!-- Screenshots (docs/screenshots) follow once they have a web address. -->")
endif()
configure_file(${IN} ${OUT} @ONLY)
