#pragma once

#include <osg/Group>
#include <osg/Vec3f>
#include <osg/ref_ptr>
#include <osgParticle/ModularEmitter>
#include <osgParticle/ParticleSystem>
#include <osgParticle/ParticleSystemUpdater>

#include <string>

// The smoke rising from a sensor node: a particle system with its emitter
// and updater under one group, so starting and stopping is adding and
// removing that group.
class SensorSmoke
{
public:
    static constexpr float lifeTime = 3.0f; // seconds
    static constexpr float minSize = 1.0f;
    static constexpr float maxSize = 5.0f;
    static constexpr float minRate = 30.0f; // particles per second
    static constexpr float maxRate = 50.0f;
    static constexpr float spread = 0.3927f; // theta and phi within +-pi/8
    static constexpr float minSpeed = 10.0f;
    static constexpr float maxSpeed = 15.0f;

    SensorSmoke(const osg::Vec3f& position, const std::string& texture);

    osg::Group* node() const { return m_group.get(); }
    osgParticle::ParticleSystem* particles() const { return m_particles.get(); }
    osgParticle::ModularEmitter* emitter() const { return m_emitter.get(); }
    osgParticle::ParticleSystemUpdater* updater() const { return m_updater.get(); }

private:
    osg::ref_ptr<osg::Group> m_group;
    osg::ref_ptr<osgParticle::ParticleSystem> m_particles;
    osg::ref_ptr<osgParticle::ModularEmitter> m_emitter;
    osg::ref_ptr<osgParticle::ParticleSystemUpdater> m_updater;
};
