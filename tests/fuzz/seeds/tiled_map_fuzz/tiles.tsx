<?xml version="1.0" encoding="UTF-8"?>
<tileset version="1.8" tiledversion="1.8.2" name="Tiles" tilewidth="32" tileheight="32" tilecount="144" columns="16">
 <image source="tiles.png" width="512" height="288"/>
 <tile id="130">
  <properties>
   <property name="fps" type="int" value="8"/>
  </properties>
  <animation>
   <frame tileid="3" duration="125"/>
   <frame tileid="4" duration="125"/>
  </animation>
 </tile>
</tileset>
