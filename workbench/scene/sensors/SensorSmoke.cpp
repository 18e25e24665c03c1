#include "scene/sensors/SensorSmoke.h"

#include <osg/Geode>
#include <osgParticle/PointPlacer>
#include <osgParticle/RadialShooter>
#include <osgParticle/RandomRateCounter>

SensorSmoke::SensorSmoke(const osg::Vec3f& position, const std::string& texture)
    : m_group(new osg::Group), m_particles(new osgParticle::ParticleSystem),
      m_emitter(new osgParticle::ModularEmitter), m_updater(new osgParticle::ParticleSystemUpdater)
{
    osgParticle::Particle& particle = m_particles->getDefaultParticleTemplate();
    particle.setLifeTime(lifeTime);
    particle.setSizeRange(osgParticle::rangef(minSize, maxSize));
    particle.setAlphaRange(osgParticle::rangef(1.0f, 0.0f));
    particle.setColorRange(
        osgParticle::rangev4(osg::Vec4(0.4f, 0.4f, 0.1f, 1.0f), osg::Vec4(0.1f, 0.1f, 0.1f, 0.5f)));
    // Smoke hides what is behind it rather than glowing: not emissive, unlit.
    m_particles->setDefaultAttributes(texture, false, false);

    auto* counter = new osgParticle::RandomRateCounter;
    counter->setRateRange(minRate, maxRate);
    m_emitter->setCounter(counter);
    auto* placer = new osgParticle::PointPlacer;
    placer->setCenter(position);
    m_emitter->setPlacer(placer);
    auto* shooter = new osgParticle::RadialShooter;
    shooter->setThetaRange(-spread, spread);
    shooter->setPhiRange(-spread, spread);
    shooter->setInitialSpeedRange(minSpeed, maxSpeed);
    m_emitter->setShooter(shooter);
    m_emitter->setParticleSystem(m_particles.get());

    auto* geode = new osg::Geode;
    geode->addDrawable(m_particles.get());
    m_updater->addParticleSystem(m_particles.get());

    m_group->addChild(m_emitter.get());
    m_group->addChild(geode);
    m_group->addChild(m_updater.get());
}
